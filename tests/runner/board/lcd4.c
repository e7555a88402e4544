/* A 16x2 LCD in the 4-bit interface on P2: D4-D7 on P2.4-P2.7, RS P2.0, RW P2.1, E P2.2
   (lcd4.board). Initialised by instruction, then the busy flag is read in two nibbles before
   every transfer. Defines character 0 and prints two lines; then waits in a jump to itself. */
#include <8052.h>

#define RS P2_0
#define RW P2_1
#define E P2_2

static void wait_ms(unsigned char ms)
{
    TMOD = 0x01;
    while (ms--) {
        TH0 = 0xFC;
        TL0 = 0x18;
        TF0 = 0;
        TR0 = 1;
        while (!TF0)
            ;
        TR0 = 0;
    }
}

static void nibble(unsigned char high)
{
    P2 = (P2 & 0x0F) | (high & 0xF0);
    E = 1;
    E = 0;
}

static unsigned char busy(void)
{
    unsigned char status;
    P2 |= 0xF0;                /* release D4-D7 */
    RS = 0;
    RW = 1;
    E = 1;
    status = P2 & 0xF0;        /* BF and AC6-AC4 */
    E = 0;
    E = 1;                     /* AC3-AC0 */
    E = 0;
    RW = 0;
    return status & 0x80;
}

static void lcd_write(unsigned char rs, unsigned char value)
{
    while (busy())
        ;
    RS = rs;
    nibble(value);
    nibble(value << 4);
}

static __code const unsigned char arrow[8] = {0x04, 0x0E, 0x15, 0x04, 0x04, 0x04, 0x04, 0x00};

void main(void)
{
    unsigned char i;
    const char *s;
    P2 = 0x00;
    wait_ms(20);
    nibble(0x30);
    wait_ms(5);
    nibble(0x30);
    wait_ms(1);
    nibble(0x30);
    wait_ms(1);
    nibble(0x20);              /* the 4-bit interface from here on */
    wait_ms(1);
    lcd_write(0, 0x28);        /* two lines, 5x8 */
    lcd_write(0, 0x08);
    lcd_write(0, 0x01);
    lcd_write(0, 0x06);
    lcd_write(0, 0x48);        /* CGRAM of character 1 */
    for (i = 0; i < 8; i++)
        lcd_write(1, arrow[i]);
    lcd_write(0, 0x0C);
    lcd_write(0, 0x80);
    for (s = "Up "; *s; s++)
        lcd_write(1, *s);
    lcd_write(1, 1);
    lcd_write(0, 0xC0);
    for (s = "4-bit LCD"; *s; s++)
        lcd_write(1, *s);
    for (;;)
        ;
}
