/* The line every serial Varnel unit speaks, both protocols alike: 2400 baud,
 * no parity, 8 data bits, 1 stop bit. The device classes hand it to PortSet;
 * upssim paces its replies by it. Macros, not enumerators: C++20 frowns on
 * enumerators in floating-point arithmetic, and the pacing does just that. */
#ifndef VARNEL_SERIALLINE_H
#define VARNEL_SERIALLINE_H

#define SERIAL_LINE_BAUD 2400
#define SERIAL_LINE_PARITY 'N'
#define SERIAL_LINE_DATA_BITS 8
#define SERIAL_LINE_STOP_BITS 1

#endif /* VARNEL_SERIALLINE_H */
