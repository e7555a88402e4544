; Register banks selected through PSW, the stack and indirect access in the 8052's upper RAM,
; MOVC, JMP @A+DPTR, XCH, XCHD, DJNZ and CJNE loops; results go out as hexadecimal text.
        SCON = 0x98
        SBUF = 0x99
        PCON = 0x87
        TMOD = 0x89
        TH1  = 0x8D
        TI   = 0x99
        TR1  = 0x8E
        PSW  = 0xD0
        B    = 0xF0
        P1   = 0x90

        .area CODE (ABS)
        .org  0x0000
        ljmp  start

        .org  0x0030
start:  mov   sp,#0x2F
        mov   TMOD,#0x20
        mov   TH1,#0xFF
        mov   PCON,#0x80
        setb  TR1
        mov   SCON,#0x50

; Each bank gets R0..R7 = bank*16 + n, written through the register names.
        mov   PSW,#0x00
        lcall fillregs
        mov   PSW,#0x08
        lcall fillregs
        mov   PSW,#0x10
        lcall fillregs
        mov   PSW,#0x18
        lcall fillregs
        mov   PSW,#0x00
; Dump 00h-1Fh through direct addresses.
        mov   r0,#0
1$:     mov   a,@r0
        lcall puthex
        inc   r0
        cjne  r0,#0x20,1$
        lcall newline

; Upper RAM: 80h-FFh through @R1 gets the complement of the address, then summed back.
        mov   r1,#0x80
2$:     mov   a,r1
        cpl   a
        mov   @r1,a
        inc   r1
        cjne  r1,#0x00,2$
        mov   r1,#0x80
        mov   r2,#0
        mov   r3,#0
3$:     mov   a,@r1
        add   a,r2
        mov   r2,a
        clr   a
        addc  a,r3
        mov   r3,a
        inc   r1
        cjne  r1,#0x00,3$
        mov   a,r3
        lcall puthex
        mov   a,r2
        lcall puthex
        mov   a,P1             ; the port register was not touched
        lcall puthex
        lcall newline

; A stack in the upper RAM: nested calls and pushes with SP from C0h.
        mov   sp,#0xC0
        mov   a,#5
        lcall nest
        mov   a,sp
        lcall puthex
        mov   r0,#0xC1
        mov   a,@r0
        lcall puthex
        mov   a,@r0
        lcall newline
        mov   sp,#0x2F

; JMP @A+DPTR through a table of AJMPs, and MOVC from a table.
        mov   r4,#0
jtest:  mov   a,r4
        rl    a
        mov   dptr,#jumps
        jmp   @a+dptr
back:   lcall puthex
        inc   r4
        cjne  r4,#4,jtest
        mov   dptr,#table
        mov   r4,#0
5$:     mov   a,r4
        movc  a,@a+dptr
        lcall puthex
        inc   r4
        cjne  r4,#8,5$
        lcall newline

; XCH, XCHD, SWAP and a DJNZ countdown on a direct address.
        mov   a,#0x12
        mov   0x40,#0x34
        xch   a,0x40
        lcall puthex
        mov   a,0x40
        lcall puthex
        mov   r0,#0x40
        mov   a,#0x5A
        xchd  a,@r0
        lcall puthex
        mov   a,0x40
        lcall puthex
        mov   0x41,#7
        mov   r5,#0
6$:     inc   r5
        djnz  0x41,6$
        mov   a,r5
        swap  a
        lcall puthex
        lcall newline
halt::  sjmp  halt

fillregs:
        mov   a,PSW
        rl    a
        anl   a,#0x30
        mov   r0,a
        orl   a,#1
        mov   r1,a
        inc   a
        mov   r2,a
        inc   a
        mov   r3,a
        inc   a
        mov   r4,a
        inc   a
        mov   r5,a
        inc   a
        mov   r6,a
        inc   a
        mov   r7,a
        ret

; Recursion through the upper-RAM stack: pushes A at every level.
nest:   push  0xE0
        dec   a
        jz    7$
        lcall nest
7$:     pop   0xE0
        add   a,#0x10
        ret

jumps:  ajmp  j0
        ajmp  j1
        ajmp  j2
        ajmp  j3
j0:     mov   a,#0xA0
        ljmp  back
j1:     mov   a,#0xB1
        ljmp  back
j2:     mov   a,#0xC2
        ljmp  back
j3:     mov   a,#0xD3
        ljmp  back

table:  .db   0x11,0x22,0x33,0x44,0x55,0x66,0x77,0x88

newline:
        mov   a,#0x0A
        sjmp  putc
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
8$:     jnb   TI,8$
        clr   TI
        ret
