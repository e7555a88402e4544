; A running light on P1 for the classroom: one LED lit at a time, moved along after a delay;
; the steps are counted in internal RAM. Assembled with -y, its debug file maps these lines.
        count = 0x30            ; steps so far
        flag  = 0x08            ; set after every step

        .area CODE (ABS)
        .org  0x0000
        ljmp  start

        .org  0x0030
start:  mov   count,#0          ; no steps yet
        mov   a,#0xFE           ; the first LED
loop:   mov   P1,a              ; show the pattern
        rl    a
        inc   count
        setb  flag
        lcall wait_a_while
        sjmp  loop

wait_a_while:
        mov   r7,#3
again:  djnz  r7,again          ; the delay
        ret
