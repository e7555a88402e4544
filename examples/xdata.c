/* A C program for SDCC's large model: every variable lives in external RAM from 0100h on, and the
   start-up code copies the initialised ones there through MOVX @R0/@R1 with P2 as the page.
   Prints a greeting, an initialised long and a table of squares at 9600 baud, then halts.
   build: --model-large --xram-loc 0x0100 */
#include <8052.h>
#include <stdio.h>

__xdata unsigned long initd = 12345678;
__xdata char greeting[] = "Large model";
__xdata unsigned int squares[8];

int putchar(int c) {
    SBUF = c;
    while (!TI)
        ;
    TI = 0;
    return c;
}

void main(void) {
    unsigned char i;
    TMOD = 0x20;  /* Timer 1 mode 2: 9600 baud at 11.0592 MHz */
    TH1 = 0xFD;
    TR1 = 1;
    SCON = 0x50;
    for (i = 0; i < 8; i++) squares[i] = (unsigned int)i * i;
    printf("%s\r\ninitd=%lu\r\n", greeting, initd);
    for (i = 0; i < 8; i++) printf("%u ", squares[i]);
    printf("\r\n");
    for (;;)
        ;
}
