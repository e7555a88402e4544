/* A command interpreter as firmware writes it: the serial interrupt fills a ring buffer, the main
   loop takes whole lines from it and answers each. Fed its commands back to back, it must answer
   every one and count no overrun: the receiver's bytes arrive a frame apart, not as fast as the
   interrupt routine takes them. */
#include "../differential/serial.h"

#define RING 16
static volatile __idata unsigned char ring[RING];
static volatile unsigned char head, tail, overruns;
static volatile __bit sent;

void serial_isr(void) __interrupt(4) {
    if (RI) {
        unsigned char next = (head + 1) & (RING - 1), c = SBUF;
        RI = 0;
        if (next == tail) {
            overruns++;
        } else {
            ring[head] = c;
            head = next;
        }
    }
    if (TI) {
        TI = 0;
        sent = 1;
    }
}

static void send(char c) {
    sent = 0;
    SBUF = c;
    while (!sent)
        ;
}

static void say(const char *s) {
    while (*s) send(*s++);
}

static unsigned char take(void) {
    unsigned char c;
    while (head == tail)
        ;
    c = ring[tail];
    tail = (tail + 1) & (RING - 1);
    return c;
}

static unsigned char number(unsigned char a, unsigned char b) {
    return (unsigned char)((a - '0') * 10 + (b - '0'));
}

static void say_u8(unsigned char v) {
    if (v >= 100) send('0' + v / 100);
    if (v >= 10) send('0' + (v / 10) % 10);
    send('0' + v % 10);
}

void main(void) {
    char line[8];
    unsigned char n, answered = 0;
    serial_init();
    TH1 = 0xFD; /* 9600 baud at 11.0592 MHz */
    PCON &= 0x7F;
    ES = 1;
    EA = 1;
    for (;;) {
        n = 0;
        for (;;) {
            char c = take();
            if (c == '\n') break;
            if (n < sizeof line) line[n++] = c;
        }
        answered++;
        if (line[0] == 'q') break;
        /* "x=NN+MM" */
        send(line[0]);
        send('=');
        say_u8(number(line[2], line[3]) + number(line[5], line[6]));
        send('\n');
    }
    say("answered ");
    say_u8(answered);
    say(", overruns ");
    say_u8(overruns);
    send('\n');
    halt();
}
