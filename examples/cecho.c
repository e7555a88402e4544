/* A serial echo in C with the common polled getchar: every byte received goes back upper-cased;
   the byte 04h (end of transmission) ends the program. 9600 baud at 11.0592 MHz. */
#include <8052.h>

int getchar(void) {
    while (!RI)
        ;
    RI = 0;
    return SBUF;
}

int putchar(int c) {
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
    return c;
}

void main(void) {
    int c;
    TMOD = 0x20;
    TH1 = 0xFD;
    TR1 = 1;
    SCON = 0x50;
    while ((c = getchar()) != 0x04) putchar(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (;;)
        ;
}
