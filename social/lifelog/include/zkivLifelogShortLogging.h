/** @file zkivLifelogShortLogging.h
 * @brief Short direct-logging forms for platform code that has no cell
 * data and no time stamp.
 *
 * The four cell values are stored as -1, the row's time stamp is the
 * database's current time, and a media row never gets a play time.  Like
 * the full forms (zkivLifeloggingServiceUtil.h) they run on the caller's
 * thread, may be called from any thread, and report nothing: failures are
 * logged, and a kind switched off in the configuration file is dropped. */
#ifndef ZKIV_LIFELOG_SHORT_LOGGING_H
#define ZKIV_LIFELOG_SHORT_LOGGING_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** Logs a call: `type` (-1, 0 or 1), `direction` (0, 1 or 2), the other
 * party's number and the duration in seconds. */
LIFELOG_API void CallActivityLogging(int type, int direction, const char* phoneNumber,
                                     int duration);
/** Logs a message: `type` (0 or 1), `direction` (0 or 1), the number and
 * the text, of which the first 30 characters are kept. */
LIFELOG_API void MsgActivityLogging(int type, int direction, const char* phoneNumber,
                                    const char* summary);
/** Logs a media play: `type` (0, 1 or 2), the title (required) and the
 * optional URI, artist, album and category (NULL: left empty). */
LIFELOG_API void MediaActivityLogging(int type, const char* title, const char* uri,
                                      const char* artist, const char* album, const char* category);
/** Application usage is not recorded: this entry exists for callers built
 * against it and has no effect, whatever it is given. */
LIFELOG_API void AppUsageActivityLogging(const char* appName, int duration);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_SHORT_LOGGING_H */
