/*
 * Shared state of the serial lab.
 *
 * One file, mapped by every party that needs it:
 *   - the preload library inside each Wine process and inside wineserver
 *     (answers modem-line ioctls, keeps data bits/parity, enforces
 *     exclusive opens),
 *   - serlab.py (creates the file, fills the port slots, rewires at run time),
 *   - Windows-side test code (reads and rewires through the file's Z: path).
 *
 * Fixed-size types only, little-endian, no pointers: the same bytes are read
 * by 64-bit Linux C code, 32- and 64-bit Windows C++ code and Python.
 * Fields that several processes change at run time are 32-bit and naturally
 * aligned, so a single load or store of one of them is atomic.
 */
#ifndef KESTRUNE_LAB_STATE_H
#define KESTRUNE_LAB_STATE_H

#include <stddef.h>
#include <stdint.h>

#define LAB_STATE_MAGIC   0x42414C53u /* "SLAB" */
#define LAB_STATE_VERSION 2u
#define LAB_MAX_PORTS     64u

/* Name of the environment variable holding the unix path of the state file. */
#define LAB_STATE_ENV "KESTRUNE_LAB_STATE"

/* What is plugged into a port's far end. */
enum lab_wiring {
    LAB_WIRE_NONE = 0,       /* nothing attached: every input line off */
    LAB_WIRE_LOOPBACK = 1,   /* own DTR -> own DSR+DCD, own RTS -> own CTS */
    LAB_WIRE_NULL_MODEM = 2, /* peer DTR -> my DSR+DCD, peer RTS -> my CTS */
    LAB_WIRE_DEVICE = 3,     /* null-modem to a device: far_lines drive my inputs */
    LAB_WIRE_DSR_ONLY = 4    /* own DTR -> own DSR only; DCD and CTS off */
};

/* How the port's driver treats line requests and modem status (lab_port.driver). */
enum lab_driver {
    LAB_DRIVER_UART = 0,    /* on-board UART: every request works, inputs show at once */
    LAB_DRIVER_FTDI = 1,    /* USB adapter: modem status lags the far side by latency_ms */
    LAB_DRIVER_USBSER = 2,  /* generic USB CDC: an RTS-only request reaches the far side with the next DTR request */
    LAB_DRIVER_NOLINES = 3  /* DTR/RTS requests fail (ERROR_GEN_FAILURE, 31); status reads work */
};

/* Line bits used in out_lines and far_lines (same values as Linux TIOCM_*). */
#define LAB_LINE_DTR 0x002u
#define LAB_LINE_RTS 0x004u
#define LAB_LINE_RI  0x080u /* far end only: ring indicator */

/* Bits of cflag (Linux termios c_cflag values). */
#define LAB_CFLAG_CSIZE  0x00000030u
#define LAB_CFLAG_CS5    0x00000000u
#define LAB_CFLAG_CS6    0x00000010u
#define LAB_CFLAG_CS7    0x00000020u
#define LAB_CFLAG_CS8    0x00000030u
#define LAB_CFLAG_PARENB 0x00000100u
#define LAB_CFLAG_PARODD 0x00000200u
#define LAB_CFLAG_CMSPAR 0x40000000u
#define LAB_CFLAG_KEPT   (LAB_CFLAG_CSIZE | LAB_CFLAG_PARENB | LAB_CFLAG_PARODD | LAB_CFLAG_CMSPAR)

/* One port slot: 128 bytes. */
struct lab_port {
    uint32_t in_use;    /*  0: 1 when this slot describes a port with a pty */
    uint32_t pty;       /*  4: N of /dev/pts/N of the COM side */
    uint32_t com;       /*  8: COM number */
    uint32_t wiring;    /* 12: enum lab_wiring */
    int32_t  peer;      /* 16: slot index of the null-modem peer, -1 for none */
    uint32_t out_lines; /* 20: DTR/RTS as last driven through the port */
    uint32_t far_lines; /* 24: DTR/RTS/RI held by the far-end device (LAB_WIRE_DEVICE) */
    uint32_t cflag;     /* 28: data bits and parity last set (LAB_CFLAG_KEPT bits) */
    uint32_t cflag_set; /* 32: 1 once cflag holds a value */
    uint32_t opens;     /* 36: opens of the pty currently held by wineserver */
    uint32_t opened;    /* 40: opens granted since the lab came up (never falls) */
    uint16_t driver;    /* 44: enum lab_driver */
    uint16_t latency_ms;/* 46: how long the modem status read lags the far side (ftdi, usbser) */
    uint32_t stall_ms;  /* 48: the first control request after each open blocks this long */
    uint32_t req_lines; /* 52: DTR/RTS as the program last asked (out_lines: what reached the far side) */
    uint32_t prev_out;  /* 56: out_lines before its last change */
    uint32_t changed_ms;/* 60: CLOCK_MONOTONIC milliseconds (low 32 bits) of out_lines' last change */
    uint32_t open_lines;/* 64: DTR/RTS the driver raises when the port is first opened (0: both low) */
    uint32_t busy_tid;  /* 68: thread running a request on the port now (0: none); requests run one at a time */
    uint32_t reserved[14];
};

/* Whole file: 64-byte header and LAB_MAX_PORTS slots (8256 bytes). */
struct lab_state {
    uint32_t magic;      /*  0: LAB_STATE_MAGIC */
    uint32_t version;    /*  4: LAB_STATE_VERSION */
    uint32_t size;       /*  8: sizeof(struct lab_state) */
    uint32_t port_count; /* 12: LAB_MAX_PORTS */
    uint32_t generation; /* 16: bumped by serlab.py on every change of slots */
    uint32_t reserved[11];
    struct lab_port ports[LAB_MAX_PORTS];
};

#ifdef __cplusplus
static_assert(sizeof(struct lab_port) == 128, "lab_port layout");
static_assert(offsetof(struct lab_port, open_lines) == 64, "lab_port layout");
static_assert(sizeof(struct lab_state) == 64 + 128 * LAB_MAX_PORTS, "lab_state layout");
#else
_Static_assert(sizeof(struct lab_port) == 128, "lab_port layout");
_Static_assert(offsetof(struct lab_port, open_lines) == 64, "lab_port layout");
_Static_assert(sizeof(struct lab_state) == 64 + 128 * LAB_MAX_PORTS, "lab_state layout");
#endif

#endif
