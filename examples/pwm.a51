; Pulse-width modulation from a timer interrupt: Timer 0 in mode 2 overflows every 100 machine
; cycles; the interrupt counts ten steps per period and drives P1.0 high for the first 3 of them
; (the duty in 30h, 30%) and P1.1 for the first 7 (the duty in 31h, 70%). One period is 1000
; machine cycles, 1.085 ms at 11.0592 MHz, and P1.0 is high for 300 of them (325.5 us).
; To measure it, add P1.0 and P1.1 in the Logic Analyzer, run, click a rising edge of P1.0 for
; cursor A and right-click the next falling edge for cursor B: dt is the high time; B on the
; next rising edge gives the period and 1/dt the frequency (921.6 Hz). Change 30h or 31h in the
; internal RAM view while it runs to change a duty cycle.
        P1    = 0x90
        P1_0  = 0x90
        P1_1  = 0x91
        TMOD  = 0x89
        TL0   = 0x8A
        TH0   = 0x8C
        IE    = 0xA8
        TR0   = 0x8C
        ACC   = 0xE0
        PSW   = 0xD0
        B     = 0xF0

        .area CODE (ABS)
        .org  0x0000
        ljmp  main
        .org  0x000B
        ljmp  tick

        .org  0x0030
main:   mov   sp,#0x40
        mov   0x30,#3           ; duty of P1.0 in tenths
        mov   0x31,#7           ; duty of P1.1 in tenths
        mov   r7,#0             ; the step within the period, 0-9
        mov   TMOD,#0x02        ; Timer 0: 8-bit auto-reload
        mov   TH0,#0x9C         ; 256 - 100
        mov   TL0,#0x9C
        mov   IE,#0x82          ; EA and ET0
        setb  TR0
idle:   sjmp  idle

tick:   push  ACC
        push  PSW
        push  B
        mov   a,r7
        clr   c
        subb  a,0x30            ; C = 1 while the step is below the duty
        mov   P1_0,c
        mov   a,r7
        clr   c
        subb  a,0x31
        mov   P1_1,c
        mov   a,r7              ; the next step, (r7 + 1) mod 10, without a branch: the routine
        inc   a                 ; takes the same even number of cycles every time, so the edges
        mov   b,#10             ; keep their places exactly
        div   ab
        mov   r7,b
        pop   B
        pop   PSW
        pop   ACC
        reti
