; Sends "Hello" through the serial port (9600 baud at 11.0592 MHz), then waits in a jump to itself.
        SCON = 0x98
        SBUF = 0x99
        TMOD = 0x89
        TH1 = 0x8D
        TCON = 0x88
        TI   = 0x99
        TR1  = 0x8E

        .area CODE (ABS)
        .org 0x0000
start:  mov   TMOD,#0x20
        mov   TH1,#0xFD
        setb  TR1
        mov   SCON,#0x50
        mov   dptr,#text
next:   clr   a
        movc  a,@a+dptr
        jz    done
        mov   SBUF,a
wait:   jnb   TI,wait
        clr   TI
        inc   dptr
        sjmp  next
done:   sjmp  done
text:   .ascii "Hello"
        .db   13,10,0
