/* Serial output for the differential test programs: 57600 baud from Timer 1, polled TI. */
#ifndef SERIAL_H
#define SERIAL_H
#include <8052.h>

static void serial_init(void) {
    TMOD = (TMOD & 0x0F) | 0x20;
    TH1 = 0xFF;
    PCON |= 0x80;
    TR1 = 1;
    SCON = 0x50;
}

int putchar(int c) {
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
    return c;
}

static void print(const char *s) {
    while (*s) putchar(*s++);
}

static void print_u32(unsigned long v) {
    char buf[11];
    unsigned char n = 0;
    do {
        buf[n++] = '0' + (char)(v % 10);
        v /= 10;
    } while (v);
    while (n) putchar(buf[--n]);
}

static void print_i32(long v) {
    if (v < 0) {
        putchar('-');
        print_u32((unsigned long)(-v));
    } else {
        print_u32((unsigned long)v);
    }
}

static void print_hex8(unsigned char v) {
    putchar("0123456789ABCDEF"[v >> 4]);
    putchar("0123456789ABCDEF"[v & 15]);
}

/* Where every program ends: interrupts off, then a jump to itself. */
void halt(void) __naked {
    __asm
        clr  _EA
    00001$:
        sjmp 00001$
    __endasm;
}

#endif
