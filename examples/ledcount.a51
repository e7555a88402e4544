; A decimal counter on four multiplexed 7-segment digits, with the display's default wiring:
; segments a-g and the point on P2.0-P2.7 (active low), digit triggers on P1.0-P1.3 (a falling
; edge latches the digit; P1.0 is the rightmost digit). The count in 30h-33h (one digit each)
; goes up by one after every pass over the four digits.
        P1 = 0x90
        P2 = 0xA0

        .area CODE (ABS)
        .org  0x0000
start:  mov   sp,#0x40
        mov   0x30,#0
        mov   0x31,#0
        mov   0x32,#0
        mov   0x33,#0
show:   mov   r0,#0x30          ; digit values, rightmost first
        mov   r2,#0xFE          ; trigger pattern, P1.0 low first
next:   mov   a,@r0
        mov   dptr,#segs
        movc  a,@a+dptr
        mov   P2,a              ; the segments of this digit
        mov   P1,r2             ; falling trigger: the digit shows them
        mov   P1,#0xFF
        mov   a,r2
        rl    a
        mov   r2,a
        inc   r0
        cjne  r0,#0x34,next
; count up in decimal, digit by digit
        mov   r0,#0x30
carry:  inc   @r0
        cjne  @r0,#10,show
        mov   @r0,#0
        inc   r0
        cjne  r0,#0x34,carry
        sjmp  show

; Segment patterns of 0-9, active low: bit 0 = a (top) ... bit 6 = g (middle), bit 7 = point.
segs:   .db   0xC0,0xF9,0xA4,0xB0,0x99,0x92,0x82,0xF8,0x80,0x90
