/* Known counts for the coverage and profile tests: a loop of ten with a branch taken on odd
   iterations, a recursive factorial (the program is built with --stack-auto), a timer
   interrupt that fires while main waits for it, and a test that never holds. */
#include <8051.h>

volatile unsigned char ticks;
unsigned char odd;

void timer0_isr(void) __interrupt(1)
{
    ticks++;
}

int fact(int n)
{
    if (n <= 1)
        return 1;
    return n * fact(n - 1);
}

void count(unsigned char n)
{
    unsigned char i;
    for (i = 0; i < n; i++) {
        if (i & 1)
            odd++;
    }
}

void main(void)
{
    int f;
    TMOD = 0x02;
    TH0 = 0;
    TR0 = 1;
    ET0 = 1;
    EA = 1;
    count(10);
    if (odd > 100)
        odd = 0;
    f = fact(5);
    while (ticks < 3)
        ;
    EA = 0;
    P1 = (unsigned char)f;
}
