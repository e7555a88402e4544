/* Timer 0 and (8052) Timer 2 interrupts counted by the main program; the output does not depend
   on exact timing. */
#include "serial.h"

static volatile unsigned char ticks0, ticks2;

void timer0_isr(void) __interrupt(1) {
    TH0 = 0xF0;
    TL0 = 0x00;
    ticks0++;
}

void timer2_isr(void) __interrupt(5) {
    TF2 = 0;
    ticks2++;
}

void main(void) {
    unsigned char i;
    serial_init();
    TMOD = (TMOD & 0xF0) | 0x01;
    TH0 = 0xF0;
    TL0 = 0x00;
    ET0 = 1;
    TR0 = 1;
    RCAP2H = 0xF8;
    RCAP2L = 0x00;
    TH2 = 0xF8;
    TL2 = 0x00;
    ET2 = 1;
    TR2 = 1;
    EA = 1;
    for (i = 1; i <= 8; i++) {
        while (ticks0 < (unsigned char)(i * 3))
            ;
        print("t0:");
        print_u32(i);
        putchar('\n');
    }
    for (i = 1; i <= 4; i++) {
        while (ticks2 < (unsigned char)(i * 2))
            ;
        print("t2:");
        print_u32(i);
        putchar('\n');
    }
    EA = 0;
    print("done\n");
    halt();
}
