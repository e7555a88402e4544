/* The 4x4 keypad on P1 shared by both board demos: rows on P1.0-P1.3, columns on P1.4-P1.7.
   A pressed key joins its row and its column, so with one row driven low the column of a pressed
   key in that row reads low. Keys are 0-F in reading order: row 0 holds 0 1 2 3. */
#ifndef KEYPAD_H
#define KEYPAD_H

#include <8052.h>

/* The key held down (0-15), or -1 when none is. */
static signed char keypad_scan(void)
{
    unsigned char row, col, columns;
    for (row = 0; row < 4; row++) {
        P1 = ~(1 << row);              /* this row low; the other rows and the columns high */
        columns = ~P1 >> 4 & 0x0F;     /* a low column: a key of this row is down */
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

/* Called every 10 ms or so: a key that has just been pressed (seen in two calls in a row, so
   that a bouncing contact counts once), else -1. */
static signed char keypad_new_key(void)
{
    static signed char last = -1, reported = -1;
    signed char key = keypad_scan(), result = -1;
    if (key == last && key != reported) {
        reported = key;
        result = key;
    }
    last = key;
    return result;
}

#endif
