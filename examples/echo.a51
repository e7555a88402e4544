; Serial echo: every byte received is sent back; the byte 04h (end of transmission) ends the
; program in a jump to itself. 9600 baud at 11.0592 MHz. RI is cleared as soon as it is seen:
; the received byte waits in SBUF's receive buffer while the echo goes out through its
; transmit side.
        SCON = 0x98
        SBUF = 0x99
        TMOD = 0x89
        TH1  = 0x8D
        RI   = 0x98
        TI   = 0x99
        TR1  = 0x8E

        .area CODE (ABS)
        .org  0x0000
start:  mov   TMOD,#0x20
        mov   TH1,#0xFD
        setb  TR1
        mov   SCON,#0x50
again:  jnb   RI,again
        clr   RI
        mov   a,SBUF
        cjne  a,#0x04,send
done:   sjmp  done
send:   mov   SBUF,a
wait:   jnb   TI,wait
        clr   TI
        sjmp  again
