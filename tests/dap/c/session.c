/* The program the adapter's session test debugs: a call with parameters and locals, a structure
   and an array, output through the serial port, a static function and its static named as in
   tick.c, a recursion, a loop that waits for the debugger, an echo of serial input, and an end in
   a jump to itself. The test finds lines by their marker comments. */
#include <8052.h>
#include <stdio.h>

struct pair {
    int a;
    char b;
};

struct pair pr = {1, 2};
int total;
__xdata unsigned char buf[4];
volatile unsigned char go;
int result;

unsigned char other(void);

int putchar(int c) {
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
    return c;
}

int getchar(void) {
    while (!RI)
        ;
    RI = 0;
    return SBUF;
}

int add(int x, int y) {
    int s = x + y; /* add-body */
    total += s;    /* add-total */
    return s;
}

static unsigned char tick(void) {
    static unsigned char n;
    return ++n;
}

int fact(int n) __reentrant {
    if (n <= 1)
        return 1;           /* fact-base */
    return n * fact(n - 1); /* fact-rec */
} /* fact-end */

void spin(void) {
    while (!go) /* spin */
        ;
}

void main(void) {
    int k;
    unsigned char c;
    SCON = 0x50;
    TMOD = 0x20;
    TH1 = 0xFD;
    TR1 = 1;
    TI = 0;
    k = add(2, 3); /* main-call */
    buf[1] = k;    /* main-after */
    pr.b = 7;
    printf("k=%d\n", k); /* main-print */
    tick();
    other();
    result = fact(4); /* main-fact */
    spin();
    do {
        c = getchar(); /* main-echo */
        putchar(c);
    } while (c != '\n');
    printf("done %d\n", total); /* main-done */
    while (1)
        ;
}
