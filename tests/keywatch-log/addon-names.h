// Acme Baron 58: the events its panel sends (from the add-on's SDK header).
#ifndef ACME_EVENTS_H
#define ACME_EVENTS_H

#define THIRD_PARTY_EVENT_ID_MIN 0x00011000

/* Switches */
#define ACME_LANDING_LIGHT_SWITCH (THIRD_PARTY_EVENT_ID_MIN + 42) /* 4138 in the log */
#define ACME_STROBE_SWITCH 0x11068
ACME_BEACON_SWITCH 69733

ACME_GEAR_HORN 4200
#define ACME_FLAP_LEVER ACME_BASE + 3
ACME_TRIM_WHEEL 0x11ZZZ

#endif
