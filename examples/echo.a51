; Serial echo: every byte received is sent back; the byte 04h (end of transmission) ends the
; program in a jump to itself. 9600 baud at 11.0592 MHz. RI is cleared only once the echo has
; gone out: in the simulator the received and the transmitted byte share the SBUF register, so a
; byte that arrived during the transmission would be overwritten.
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
        mov   a,SBUF
        cjne  a,#0x04,send
done:   sjmp  done
send:   mov   SBUF,a
wait:   jnb   TI,wait
        clr   TI
        clr   RI
        sjmp  again
