/* The LCD board demo (lcd.board): a 16x2 HD44780 character LCD on P0 (D0-D7) and P2.0-P2.2 (RS,
   RW, E), and a 4x4 keypad on P1.

   The module is initialised as its datasheet does it by instruction, then the program waits for
   the busy flag before each transfer. Line 1 greets with a user-defined character (a bell, code
   0); line 2 shows the keys pressed on the keypad, starting again after ten keys.
   build: --std-c99 */
#include <8052.h>

#include "keypad.h"

#define LCD_DATA P0
#define LCD_RS P2_0
#define LCD_RW P2_1
#define LCD_E P2_2

/* One millisecond, counted by Timer 0 (1000 machine cycles). */
static void wait_1ms(void)
{
    TH0 = 0xFC;
    TL0 = 0x18;
    TF0 = 0;
    TR0 = 1;
    while (!TF0)
        ;
    TR0 = 0;
}

static void wait_ms(unsigned char ms)
{
    while (ms--)
        wait_1ms();
}

/* Reads the busy flag until the controller is ready: RW high, the data port released (all ones)
   for the module to drive, E high, read, E low. */
static void lcd_wait(void)
{
    unsigned char status;
    LCD_DATA = 0xFF;
    LCD_RS = 0;
    LCD_RW = 1;
    do {
        LCD_E = 1;
        status = LCD_DATA;
        LCD_E = 0;
    } while (status & 0x80);
    LCD_RW = 0;
}

/* One byte: an instruction (rs = 0) or data (rs = 1), taken at the falling edge of E. */
static void lcd_write(unsigned char rs, unsigned char value)
{
    lcd_wait();
    LCD_RS = rs;
    LCD_DATA = value;
    LCD_E = 1;
    LCD_E = 0;
}

static void lcd_text(const char *s)
{
    while (*s)
        lcd_write(1, *s++);
}

/* A bell, row by row (5 dots a row). */
static __code const unsigned char bell[8] = {0x04, 0x0E, 0x0E, 0x0E, 0x1F, 0x00, 0x04, 0x00};

static __code const char hex[] = "0123456789ABCDEF";

static void lcd_init(void)
{
    unsigned char i;
    LCD_E = 0;
    LCD_RW = 0;
    LCD_RS = 0;
    wait_ms(20);                       /* more than 15 ms after power-on */
    for (i = 0; i < 3; i++) {          /* function set, 8 bits, three times without the busy flag */
        LCD_DATA = 0x30;
        LCD_E = 1;
        LCD_E = 0;
        wait_ms(5);
    }
    lcd_write(0, 0x38);                /* 8 bits, two lines, 5x8 dots */
    lcd_write(0, 0x08);                /* display off */
    lcd_write(0, 0x01);                /* clear */
    lcd_write(0, 0x06);                /* increment, no shift */
    lcd_write(0, 0x40);                /* CGRAM address 0: character 0 */
    for (i = 0; i < 8; i++)
        lcd_write(1, bell[i]);
    lcd_write(0, 0x0C);                /* display on, no cursor */
}

void main(void)
{
    unsigned char count = 0;
    signed char key;

    TMOD = 0x01;                       /* Timer 0: 16-bit, for the delays */
    lcd_init();
    lcd_write(0, 0x80);
    lcd_text("Corvamat 8051 ");
    lcd_write(1, 0);                   /* the bell */
    lcd_write(0, 0xC0);
    lcd_text("Keys:");
    for (;;) {
        wait_ms(10);
        key = keypad_new_key();
        if (key < 0)
            continue;
        if (count == 10) {             /* start the line again */
            count = 0;
            lcd_write(0, 0xC6);
            lcd_text("          ");
        }
        lcd_write(0, 0xC6 + count);
        lcd_write(1, hex[key]);
        count++;
    }
}
