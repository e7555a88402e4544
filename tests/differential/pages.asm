; AJMP and ACALL in several 2K pages, including one whose next instruction is already in the
; next page, with LCALL/LJMP between the pages; each stop sends a letter.
        SCON = 0x98
        SBUF = 0x99
        PCON = 0x87
        TMOD = 0x89
        TH1  = 0x8D
        TI   = 0x99
        TR1  = 0x8E

        .area CODE (ABS)
        .org  0x0000
        ljmp  start

        .org  0x0040
start:  mov   sp,#0x40
        mov   TMOD,#0x20
        mov   TH1,#0xFF
        mov   PCON,#0x80
        setb  TR1
        mov   SCON,#0x50
        mov   a,#'a
        acall putc
        ljmp  page1

putc:   mov   SBUF,a
1$:     jnb   TI,1$
        clr   TI
        ret

        .org  0x07FE
edge:   .db   0x01,0x10     ; AJMP 0810h: the following address, 0800h, is in page 1
        .org  0x0810
over:   mov   a,#'e
        lcall putc
        ljmp  page2

        .org  0x0900
page1:  mov   a,#'b
        lcall putc
        acall sub1
        ajmp  p1next
sub1:   mov   a,#'c
        lcall putc
        ret
p1next: mov   a,#'d
        lcall putc
        ljmp  edge

        .org  0x1234
page2:  acall sub2
        mov   a,#'g
        lcall putc
        ajmp  fin
sub2:   mov   a,#'f
        ljmp  putc
fin:    mov   a,#0x0A
        lcall putc
halt::  sjmp  halt
