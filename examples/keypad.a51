; Keypad demo with the keypad's default wiring: keys 0-7 pull P0.0-P0.7 low, and every key event
; also drives P3.2 (INT0). At every key press (a falling edge on INT0) the interrupt routine reads
; the keys and shows on the rightmost 7-segment digit (default display wiring, P2 segments, P1.0
; trigger) the number of the lowest key held down; a dash stands there until the first press.
; The digit stays selected (P1.0 low), so a multiplexed display shows it whether it latches the
; segments at the trigger's falling edge or shows what the pins hold. The main program just waits.
        P0 = 0x80
        P1 = 0x90
        P2 = 0xA0
        TCON = 0x88
        IE = 0xA8

        .area CODE (ABS)
        .org  0x0000
        ljmp  start
        .org  0x0003
        ljmp  int0
        .org  0x0030
start:  mov   sp,#0x40
        mov   TCON,#0x01        ; IT0: falling edges request the interrupt
        mov   IE,#0x81          ; EA, EX0
        acall show
idle:   sjmp  idle

int0:   acall show
        reti

; The lowest key down (0-7) or a dash when all are up, on the rightmost digit. The trigger is
; raised first: an interrupt may come while the main program's call holds it low.
show:   mov   P1,#0xFF
        mov   a,P0
        mov   r7,#0
1$:     rrc   a
        jnc   2$
        inc   r7
        cjne  r7,#8,1$
        mov   a,#0xBF           ; dash: the middle segment only
        sjmp  3$
2$:     mov   a,r7
        mov   dptr,#segs
        movc  a,@a+dptr
3$:     mov   P2,a
        mov   P1,#0xFE          ; falling trigger of digit 0, which stays selected
        ret

segs:   .db   0xC0,0xF9,0xA4,0xB0,0x99,0x92,0x82,0xF8
