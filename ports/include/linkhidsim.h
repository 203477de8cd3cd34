/* Wire format between linkhid and a simulated HID unit (upssim) over a Unix
 * stream socket, or loopback TCP for a Windows linkhid, at the level of raw
 * reports, so the report-descriptor parsing and usage mapping of linkhid run
 * exactly as they do on hardware.
 *
 * Every message, both ways: a 4-byte little-endian payload length N
 * (1 <= N <= LINKHIDSIM_MAX_PAYLOAD), then N payload bytes. A request's first
 * payload byte is its opcode; a reply repeats the opcode, then one status byte
 * (LINKHIDSIM_OK or an error), then the data. One reply per request, in order.
 *
 *   INFO        request: op                       reply: op status vid(2 LE) pid(2 LE)
 *                                                        manufacturer '\0' product '\0'
 *   DESCRIPTOR  request: op                       reply: op status descriptor bytes
 *   GET_FEATURE request: op reportId length(2 LE) reply: op status reportId data...
 *               (as HIDIOCGFEATURE: the report id first, then at most length-1 bytes)
 *   SET_FEATURE request: op reportId data...      reply: op status
 *
 * A peer that sends a length outside the bounds, an unknown opcode or a reply
 * to another opcode is broken: close the connection. */
#ifndef LINKHIDSIM_H
#define LINKHIDSIM_H

#define LINKHIDSIM_MAX_PAYLOAD 4096u

#define LINKHIDSIM_OP_INFO 0x49        /* 'I' */
#define LINKHIDSIM_OP_DESCRIPTOR 0x44  /* 'D' */
#define LINKHIDSIM_OP_GET_FEATURE 0x47 /* 'G' */
#define LINKHIDSIM_OP_SET_FEATURE 0x53 /* 'S' */

#define LINKHIDSIM_OK 0x00
#define LINKHIDSIM_ERR_NO_REPORT 0x01 /* no such feature report */
#define LINKHIDSIM_ERR_REJECTED 0x02  /* the unit refused the request */
#define LINKHIDSIM_ERR_IO 0x03        /* any other failure */

/* Environment variable naming the simulator sockets, colon-separated; on
 * Windows host:port entries, separated by ';'. */
#define LINKHIDSIM_ENV "LINKHID_SIMULATORS"

#endif
