/* Scans a 4x4 keypad on P1 (rows P1.0-P1.3 driven low one at a time, columns P1.4-P1.7 read) and
   sends every key pressed as its hex digit through the serial port (9600 baud at 11.0592 MHz);
   after eight keys it stops in a jump to itself. */
#include <8052.h>

static signed char scan(void)
{
    unsigned char row, col, columns;
    for (row = 0; row < 4; row++) {
        P1 = ~(1 << row);
        columns = ~P1 >> 4 & 0x0F;
        if (columns) {
            for (col = 0; !(columns & 1); col++)
                columns >>= 1;
            P1 = 0xFF;
            return row * 4 + col;
        }
    }
    P1 = 0xFF;
    return -1;
}

void main(void)
{
    signed char key, last = -1;
    unsigned char sent = 0;
    SCON = 0x50;
    TMOD = 0x20;
    TH1 = 0xFD;
    TR1 = 1;
    while (sent < 8) {
        key = scan();
        if (key >= 0 && key != last) {
            SBUF = "0123456789ABCDEF"[key];
            while (!TI)
                ;
            TI = 0;
            sent++;
        }
        last = key;
    }
    for (;;)
        ;
}
