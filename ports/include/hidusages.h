/* The HID usages through which Varnel reaches a UPS: the names on the Power
 * Device page and the battery configuration on the vendor page. DeltaUSB asks
 * for them, linkhid answers the names itself, upssim and the test units
 * announce and answer the rest. Logs and unit documentation give the vendor
 * usages in decimal, hence the decimal beside each. One enumeration, so the
 * values serve as case labels and descriptor bytes in C and C++ alike, and
 * combine without C++20's warning about mixing enumerations. */
#ifndef VARNEL_HIDUSAGES_H
#define VARNEL_HIDUSAGES_H

enum {
    /* Usage pages. */
    HID_PAGE_POWER_DEVICE = 0x84,
    HID_PAGE_BATTERY_SYSTEM = 0x85,
    HID_PAGE_VENDOR = 0xFFFF,

    /* Power Device page. The string usages hold string descriptor indexes on
     * the wire; through PortGetHid they read as the texts themselves. */
    HID_USAGE_UPS = 0x04,
    HID_USAGE_POWER_SUMMARY = 0x24,
    HID_USAGE_MANUFACTURER = 0xFD,  /* 253, iManufacturer */
    HID_USAGE_PRODUCT = 0xFE,       /* 254, iProduct */
    HID_USAGE_SERIAL_NUMBER = 0xFF, /* 255, iSerialNumber */

    /* Battery System page. */
    HID_USAGE_REMAINING_CAPACITY = 0x66,
    HID_USAGE_RUN_TIME_TO_EMPTY = 0x68,

    /* Vendor page: the battery configuration. Each table is reached by writing
     * an index to one usage, then reading or writing the value there through
     * the next. */
    HID_USAGE_INTERNAL_TYPE = 0x60,  /* 96 */
    HID_USAGE_EXTERNAL_COUNT = 0x61, /* 97, 16 bits */
    HID_USAGE_INTERNAL_COUNT = 0x62, /* 98 */
    HID_USAGE_BATTERY_INDEX = 0x63,  /* 99 */
    HID_USAGE_BATTERY_VALUE = 0x64,  /* 100 */
    HID_USAGE_C_TABLE_INDEX = 0x65,  /* 101 */
    HID_USAGE_C_TABLE_VALUE = 0x66,  /* 102 */
    HID_USAGE_C_TABLE_HIGH_B = 0x67, /* 103 */
    HID_USAGE_CONFIGURATION = 0x68   /* 104, 16 bits; bit 0: takes external packs */
};

#endif /* VARNEL_HIDUSAGES_H */
