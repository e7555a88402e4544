/* Integer, long and floating-point arithmetic, sorting, recursion and a switch table. */
#include "serial.h"

static unsigned int fib(unsigned char n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

static unsigned long factorial(unsigned char n) { return n ? n * factorial(n - 1) : 1; }

static const char *name_of(unsigned char k) {
    switch (k) {
        case 0: return "zero";
        case 1: return "one";
        case 2: return "two";
        case 3: return "three";
        case 4: return "four";
        case 5: return "five";
        case 6: return "six";
        case 7: return "seven";
        default: return "many";
    }
}

static __xdata int values[24];

void main(void) {
    unsigned char i, j;
    long acc = 1;
    float f = 1.0f;
    unsigned int seed = 12345;
    serial_init();

    for (i = 0; i < 15; i++) {
        print_u32(fib(i));
        putchar(' ');
    }
    putchar('\n');
    for (i = 0; i < 13; i++) {
        print_u32(factorial(i));
        putchar(' ');
    }
    putchar('\n');
    for (i = 0; i < 20; i++) {
        acc = acc * -3 + 7;
        print_i32(acc);
        putchar(' ');
        print_i32(acc / 13);
        putchar(' ');
        print_i32(acc % 13);
        putchar(';');
    }
    putchar('\n');
    for (i = 0; i < 12; i++) {
        f = f * 1.5f - 0.25f;
        print_i32((long)(f * 1000.0f));
        putchar(' ');
        print_i32((long)(1000.0f / f));
        putchar(' ');
    }
    putchar('\n');

    for (i = 0; i < 24; i++) {
        seed = seed * 25173u + 13849u;
        values[i] = (int)seed;
    }
    for (i = 1; i < 24; i++) {
        int v = values[i];
        j = i;
        while (j > 0 && values[j - 1] > v) {
            values[j] = values[j - 1];
            j--;
        }
        values[j] = v;
    }
    for (i = 0; i < 24; i++) {
        print_i32(values[i]);
        putchar(' ');
    }
    putchar('\n');
    for (i = 0; i < 10; i++) {
        print(name_of(i));
        putchar(' ');
    }
    putchar('\n');
    {
        volatile unsigned int a = 0xBEEF, b = 0x1234;
        volatile signed char m = -100;
        print_hex8((a * b) >> 8);
        print_hex8(a / b);
        print_hex8(a % b);
        print_hex8((unsigned char)(a >> 3) ^ (unsigned char)b);
        print_hex8(m / 7);
        print_hex8(m % 7);
        putchar('\n');
    }
    halt();
}
