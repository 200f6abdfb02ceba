/* Short direct-logging forms for platform code that has no cell data and no
 * time stamp: the four cell values are stored as -1, the row's time stamp is
 * the database's current time, and a media row never gets a play time. */
#ifndef ZKIV_LIFELOG_SHORT_LOGGING_H
#define ZKIV_LIFELOG_SHORT_LOGGING_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

LIFELOG_API void CallActivityLogging(int type, int direction, const char* phoneNumber,
                                     int duration);
LIFELOG_API void MsgActivityLogging(int type, int direction, const char* phoneNumber,
                                    const char* summary);
LIFELOG_API void MediaActivityLogging(int type, const char* title, const char* uri,
                                      const char* artist, const char* album,
                                      const char* category);
/* Application usage is not recorded: this entry exists for callers built
 * against it and has no effect, whatever it is given. */
LIFELOG_API void AppUsageActivityLogging(const char* appName, int duration);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_SHORT_LOGGING_H */
