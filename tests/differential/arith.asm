; Flags of ADD, ADDC, SUBB, DA, MUL, DIV, RLC, RRC, CJNE and the logic instructions over a grid of
; operands and both carries; every result is sent as hexadecimal text through the serial port.
        SCON = 0x98
        SBUF = 0x99
        PCON = 0x87
        TMOD = 0x89
        TH1  = 0x8D
        TI   = 0x99
        TR1  = 0x8E
        PSW  = 0xD0
        B    = 0xF0

        .area CODE (ABS)
        .org  0x0000
        ljmp  start

        .org  0x0040
start:  mov   sp,#0x60
        mov   TMOD,#0x20
        mov   TH1,#0xFF
        mov   PCON,#0x80
        setb  TR1
        mov   SCON,#0x50
        mov   r2,#0
iloop:  mov   r3,#0
jloop:  mov   r4,#0
cloop:  mov   dptr,#vals
        mov   a,r3
        movc  a,@a+dptr
        mov   0x31,a
        mov   a,r2
        movc  a,@a+dptr
        mov   0x30,a

        lcall setc
        mov   a,0x30
        add   a,0x31
        lcall report
        lcall setc
        mov   a,0x30
        addc  a,0x31
        lcall report
        lcall setc
        mov   a,0x30
        subb  a,0x31
        lcall report
        lcall setc
        mov   a,0x30
        addc  a,0x31
        da    a
        lcall report
        lcall setc
        mov   a,0x30
        mov   B,0x31
        mul   ab
        lcall repab
        lcall setc
        mov   a,0x30
        mov   B,0x31
        div   ab
        lcall repab
        lcall setc
        mov   a,0x30
        rlc   a
        lcall report
        lcall setc
        mov   a,0x30
        rrc   a
        lcall report
        lcall setc
        mov   a,0x30
        cjne  a,0x31,1$
1$:     lcall report
        lcall setc
        mov   a,0x30
        xrl   a,0x31
        lcall report
        mov   a,0x30
        anl   a,0x31
        lcall report
        mov   a,0x30
        orl   a,0x31
        lcall report
        mov   a,#0x0A
        lcall putc

        inc   r4
        cjne  r4,#2,again_c
        inc   r3
        cjne  r3,#16,again_j
        inc   r2
        cjne  r2,#16,again_i
halt::  sjmp  halt
again_c: ljmp cloop
again_j: ljmp jloop
again_i: ljmp iloop

; PSW cleared, then CY = bit 0 of R4.
setc:   mov   PSW,#0
        mov   a,r4
        rrc   a
        ret

; A and the flags CY, AC, OV, P as hexadecimal, then a blank.
report: mov   r5,PSW
        lcall puthex
        mov   a,r5
        anl   a,#0xC5
        lcall puthex
        mov   a,#0x20
        ljmp  putc

; A, B and the flags CY, OV.
repab:  mov   r5,PSW
        lcall puthex
        mov   a,B
        lcall puthex
        mov   a,r5
        anl   a,#0x84
        lcall puthex
        mov   a,#0x20
        ljmp  putc

puthex: mov   r6,a
        swap  a
        anl   a,#0x0F
        lcall nib
        mov   a,r6
        anl   a,#0x0F
nib:    add   a,#2
        movc  a,@a+pc
        sjmp  putc
        .ascii "0123456789ABCDEF"

putc:   mov   SBUF,a
2$:     jnb   TI,2$
        clr   TI
        ret

vals:   .db   0x00,0x01,0x0F,0x10,0x7F,0x80,0x81,0x99,0xF0,0xFF,0x55,0xAA,0x09,0x90,0x3C,0xC3
