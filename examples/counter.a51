; Counts upwards on port 1, with a short delay between the steps.
        P1 = 0x90

        .area CODE (ABS)
        .org 0x0000
start:  mov   P1,#0
loop:   mov   r7,#50
delay:  djnz  r7,delay
        inc   P1
        sjmp  loop
