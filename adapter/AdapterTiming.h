// Every wait of the adapter thread in one place: the defaults are what the adapter and the converters need;
// tests shorten them so that timeouts and retries can be exercised quickly.
#pragma once

struct AdapterTiming {
    unsigned int response_ms = 5000;      // acknowledgement or response of the adapter after a request
    unsigned int key_wait_ms = 20000;     // a DS1996L to be touched to the reader
    unsigned int connect_ms = 30000;      // a TCP converter to accept the connection
    unsigned int reset_pulse_ms = 2000;   // modem lines held in reset when the adapter gives no power answer
    unsigned int reconnect_ms = 5000;     // between two connection attempts while the port exists
    unsigned int busy_retry_ms = 1000;    // before the second open of a busy serial port
    unsigned int countdown_poll_ms = 333; // longest sleep of a response wait, so the countdown stays live
    unsigned int mode_answer_ms = 1000;   // an answer in key-reading mode before the adapter is woken again
    unsigned int rearm_ms = 5000;         // key-reading mode re-arms the idle adapter this often
    unsigned int line_settle_ms = 50;     // a quiet line before the first line of the ASCII protocol
};
