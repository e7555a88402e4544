/* Debug-info test program: globals of every kind, a file static, a function static, locals in
   registers and in memory, a structure and an array; prints what the runner's dump must show. */
#include <8052.h>
#include <stdio.h>

struct point {
    int x;
    signed char y;
    long z;
    unsigned flags : 3;
    unsigned mode : 2;
};

struct point origin;
int result;
static unsigned char counter;
float ratio = 1.5;
__xdata int table[4];
__code const char greeting[] = "hi";
char *where;
__xdata char *xwhere;
__idata unsigned char ibuf[3];
unsigned long big = 3000000000UL;
signed char negative = -5;
__bit flag;

extern int helper(int a, int b);

int putchar(int c) {
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
    return c;
}

static int square(int v) {
    static int calls;
    int r = v * v;
    calls++;
    return r;
}

void main(void) {
    int i;
    long sum = 0;
    struct point local;
    SCON = 0x50;
    TMOD = 0x20;
    TH1 = 0xFF;
    TR1 = 1;
    TI = 0;
    for (i = 0; i < 4; i++) {
        table[i] = square(i);
        sum += table[i];
    }
    local.x = 3;
    local.y = -2;
    local.z = sum;
    local.flags = 5;
    local.mode = 2;
    origin = local;
    result = helper(20, 22);
    counter++;
    flag = 1;
    where = (char *)&counter;
    xwhere = (__xdata char *)&table[1];
    ibuf[2] = 7;
    ratio = ratio * 3;
    printf("result=%d counter=%d sum=%ld origin.z=%ld negative=%d\n", result, counter, sum, origin.z, negative);
    while (1)
        ;
}
