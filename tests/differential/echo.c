/* The common polled receive routine in an echo loop: each byte comes back upper-cased, '.' ends
   it. getchar clears RI at once and reads SBUF afterwards, so the byte it returns must be the
   received one even though putchar has written SBUF since. */
#include "serial.h"

int getchar(void) {
    while (!RI)
        ;
    RI = 0;
    return SBUF;
}

void main(void) {
    int c;
    serial_init();
    do {
        c = getchar();
        putchar(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    } while (c != '.');
    halt();
}
