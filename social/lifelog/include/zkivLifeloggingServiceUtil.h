/** @file zkivLifeloggingServiceUtil.h
 * @brief Service utilities: the library's default logger, the
 * direct-logging functions and the per-table maximum row count of the
 * configuration file. */
#ifndef ZKIV_LIFELOGGING_SERVICE_UTIL_H
#define ZKIV_LIFELOGGING_SERVICE_UTIL_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** The most rows each activity table keeps: "MAX_COUNT_PER_ACTIVITY" of
 * section "ACTIVITY_CONFIG" in the configuration file, 500 when it cannot be
 * read.  Read afresh at each call; any thread. */
LIFELOG_API int32_t _Lifelog_getMaxlogNumPerActivity(void);

/** A database logger (maximum row count read afresh from the configuration
 * file) with the default filter, or NULL with the error slot set.  The
 * logger is the caller's, deleted with ZLifelogger_delete().  Codes: those
 * of _CreateDBLifeLogger() and __DefaultFilter_new(). */
LIFELOG_API ZLifelogger* __Lifelog_CreateDefaultLog(unsigned int* err);

/** Direct logging of a call on the caller's thread: builds its own
 * pipeline, builds the activity, attaches `timestamp` (stored verbatim, NULL
 * for none: the row then gets the database's current time), logs it and
 * tears everything down.  Failures are logged, never reported; a kind
 * switched off in the configuration file is dropped silently.  Any thread,
 * several at once.  The phone number is required. */
LIFELOG_API void _Lifelog_CallActivityLogging(const char* phoneNumber, int direction, int duration,
                                              int type, int cellId, int lac, int mcc, int mnc,
                                              const char* timestamp);
/** Direct logging of a message, as _Lifelog_CallActivityLogging(); the
 * phone number and the summary (of which the first 30 characters are kept)
 * are required. */
LIFELOG_API void _Lifelog_MsgActivityLogging(const char* phoneNumber, int direction, int type,
                                             const char* summary, int cellId, int lac, int mcc,
                                             int mnc, const char* timestamp);
/** Direct logging of a media play, as _Lifelog_CallActivityLogging(); the
 * title is required, the other texts may be NULL, a play time of 0 or less
 * is not stored. */
LIFELOG_API void _Lifelog_MediaActivityLogging(int type, const char* title, const char* uri,
                                               int playTime, const char* artist, const char* album,
                                               const char* category, int cellId, int lac, int mcc,
                                               int mnc, const char* timestamp);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGING_SERVICE_UTIL_H */
