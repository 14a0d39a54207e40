#ifndef VANTOR_EMULATOR_CONTROL_H
#define VANTOR_EMULATOR_CONTROL_H
/* Control functions of the programmer emulator, exported beside the libusb
 * 0.1 API so tests can set up the virtual bus, look at the chip and read back
 * every block and stream the host sent. Tests reach them with dlsym (see
 * EmulatorClient.h); nothing in the application calls them. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What one logged event was. */
enum vantor_emu_event_kind {
    VANTOR_EMU_OPEN = 1,       /* usb_open of a device */
    VANTOR_EMU_CLOSE = 2,      /* usb_close */
    VANTOR_EMU_CLAIM = 3,      /* usb_claim_interface */
    VANTOR_EMU_RELEASE = 4,    /* usb_release_interface */
    VANTOR_EMU_CONTROL = 5,    /* usb_control_msg (string descriptors, vendor requests) */
    VANTOR_EMU_COMMAND = 6,    /* bulk write to the command endpoint: data = the block */
    VANTOR_EMU_DATA_OUT = 7,   /* bulk write to the data endpoint: data = its first 64 bytes */
    VANTOR_EMU_REPLY = 8,      /* bulk read answered by a 64-byte reply */
    VANTOR_EMU_DATA_IN = 9,    /* bulk read of the chip: data = its first 64 bytes */
    VANTOR_EMU_BULK_OTHER = 10 /* any other bulk transfer (wrong endpoint, nothing to read) */
};

/* Fault that hit a transfer (vantor_emu_event.fault). */
enum vantor_emu_fault {
    VANTOR_EMU_FAULT_NONE = 0,
    VANTOR_EMU_FAULT_UNPLUG = 1,
    VANTOR_EMU_FAULT_TIMEOUT = 2,
    VANTOR_EMU_FAULT_SHORT_READ = 3,
    VANTOR_EMU_FAULT_SHORT_WRITE = 4,
    VANTOR_EMU_FAULT_STALL = 5,
    VANTOR_EMU_FAULT_BITFLIP = 6,
    VANTOR_EMU_FAULT_LOST_WRITE = 7
};

struct vantor_emu_event {
    int kind;               /* vantor_emu_event_kind */
    int device;             /* index of the device in the configuration */
    int endpoint;           /* bulk endpoint, or the request type of a control transfer */
    int length;             /* bytes asked */
    int result;             /* what the call returned */
    int fault;              /* vantor_emu_fault */
    long transfer;          /* 1-based number of the bulk transfer since the device was
                               opened (fault positions count the same way); 0 for
                               other events */
    uint32_t address;       /* chip address at the start of a data stream transfer */
    unsigned char data[64]; /* payload (first 64 bytes), zero-padded */
};

/* Configures the emulator from INI text (same format as the file). NULL
 * returns to the file named by VANTOR_EMULATOR_CONFIG, or emulator.ini beside
 * the library, or the built-in default. Resets the log, the transfer count
 * and the fault random generator. 0 on success, -1 on a bad text (see
 * vantor_emu_last_error); a bad text leaves the previous set-up in force. */
int vantor_emu_configure(const char* ini_text);
const char* vantor_emu_last_error(void);

int vantor_emu_device_count(void);
/* Plugs / unplugs device `device` (index in the configuration, -1 = all). An
 * unplug kills open handles: their transfers fail with -ENODEV. */
void vantor_emu_plug(int device);
void vantor_emu_unplug(int device);
int vantor_emu_is_plugged(int device);

/* The chip in the socket of device `device`. Size 0 for an empty socket. */
long vantor_emu_image_size(int device);
long vantor_emu_get_image(int device, unsigned char* out, long capacity);
/* Copies `length` bytes to the chip from address 0; the rest becomes 0xFF. */
int vantor_emu_set_image(int device, const unsigned char* data, long length);
/* A chip with an image file lives in it (mapped shared), so every change is
 * there at once; this only asks the system to write it to disk now. */
int vantor_emu_save_image(int device);
int vantor_emu_four_byte_mode(int device);

/* The log of everything the host did. */
long vantor_emu_event_count(void);
int vantor_emu_get_event(long index, struct vantor_emu_event* out);
void vantor_emu_reset_log(void);
/* Bulk transfers since the last configure. Fault positions ("fault at
 * transfer N") count from each usb_open instead. */
long vantor_emu_transfer_count(void);
/* Time the link took for the bulk transfers since the last configure, in
 * nanoseconds: full-speed packets (64 bytes, 19 per 1 ms frame), firmware
 * turnaround per command block, page program and write cycles. Counted with
 * either timing; with timing = usb-full-speed the transfers also last it. */
long long vantor_emu_wire_time_ns(void);
/* Device handles open at this moment. */
int vantor_emu_open_handles(void);

#ifdef __cplusplus
}
#endif

#endif
