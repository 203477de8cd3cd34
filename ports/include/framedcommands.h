/* The framed serial protocol: a frame is FRAMED_START, a kind, the payload
 * length + 1, a command, the payload and an additive checksum. Protocol3014
 * sends the requests, upssim and the test units answer them. Logs and unit
 * documentation give the commands in decimal, hence decimal here. One
 * enumeration, so the values serve as case labels in C and C++ alike. */
#ifndef VARNEL_FRAMEDCOMMANDS_H
#define VARNEL_FRAMEDCOMMANDS_H

enum {
    FRAMED_START = 0x7E,

    /* Frame kinds: requests, then replies. */
    FRAMED_KIND_READ = 3,
    FRAMED_KIND_WRITE = 4,
    FRAMED_KIND_VALUE = 2,    /* a read's value */
    FRAMED_KIND_ACCEPTED = 5, /* a write taken */
    FRAMED_KIND_REFUSED = 6,

    /* Commands. Each table is reached by writing an index to one command,
     * then reading or writing the value there through the next. */
    FRAMED_CMD_PRODUCT_NAME = 40, /* text */
    FRAMED_CMD_VENDOR_NAME = 43,  /* text */
    FRAMED_CMD_INTERNAL_COUNT = 93,
    FRAMED_CMD_INTERNAL_TYPE = 96,
    FRAMED_CMD_EXTERNAL_COUNT = 99, /* 16 bits */
    FRAMED_CMD_BATTERY_INDEX = 131,
    FRAMED_CMD_BATTERY_VALUE = 132,
    FRAMED_CMD_C_TABLE_INDEX = 133,
    FRAMED_CMD_C_TABLE_VALUE = 134,
    FRAMED_CMD_C_TABLE_HIGH_B = 135,
    FRAMED_CMD_CONFIGURATION = 136 /* 16 bits; bit 0: takes external packs */
};

#endif /* VARNEL_FRAMEDCOMMANDS_H */
