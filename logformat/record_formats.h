// The log's file name and the text of every record keywatch writes to it,
// each defined here once. The module writes records through these printf
// formats; keywatch-log, the tests' log mask and the fuzz harness read them
// through the same formats (logformat/log_format.h), so a record's text
// cannot change for the writer alone. Plain C, for the module.
#pragma once

// Each record starts with a line feed and none ends with one, so the file
// never ends with a line break. Seconds print as fixed six-decimal values: the
// %Lf records take a long double, the %f records a double.

#define LOG_FILE_NAME "Key_Events_Sent.log"

#define RECORD_EVENT              "\n Time=%Lf; id=%d; event_in=%s; evdata=%d"
#define RECORD_USER_DEFINED_EVENT "\n Time= %Lf id= %d event_in= %s evdata= %d"
#define RECORD_AIRCRAFT_LOADED    "\n\n Time=%f; Aircraft Loaded Title=%s; Type=%s; Model=%s"
#define RECORD_GAUGE_LOADED       "\n Time= %Lf Gauge Loaded= %s"
#define RECORD_LOGGING_STOPPED    "\n Time= %Lf Logging Stopped"
#define RECORD_LOG_FILE_CLOSED    "\n Time= %Lf Log File Closed"
#define RECORD_GAUGE_REFRESHED    "\n Time= %Lf Gauge Refreshed= %s"
#define RECORD_AIRCRAFT_TITLE     "\n Time= %f Aircraft Title= %s Type= %s Model= %s"
#define RECORD_LOGGING_STARTED    "\n Time= %f Logging Started"
