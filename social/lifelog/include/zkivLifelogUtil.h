/** @file zkivLifelogUtil.h
 * @brief Activity capture: builders that turn the raw fields of a call, message,
 * media playback or photo into an activity keyed by column names, the UTF-8
 * text functions that count and cut user text by characters, the reader of
 * the database's time-stamp text, and the database logger constructor. */
#ifndef ZKIV_LIFELOG_UTIL_H
#define ZKIV_LIFELOG_UTIL_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** Builders.  Each returns a new activity owned by the caller, or NULL with the
 * error slot set (4 when a required text is NULL).  No builder sets the
 * activity's time stamp.  `location` may be NULL. */
LIFELOG_API ZLifelogActivity* _CreateCallActivity(const char* phoneNumber, int direction,
                                                  int duration, int type, int cellId, int lac,
                                                  int mcc, int mnc, const char* location,
                                                  unsigned int* err);
/** A message activity; the summary keeps the text's first 30 characters. */
LIFELOG_API ZLifelogActivity* _CreateMsgActivity(const char* phoneNumber, int direction, int type,
                                                 const char* summary, int cellId, int lac, int mcc,
                                                 int mnc, const char* location, unsigned int* err);
/** A media activity; a play time of 0 or less adds no item, NULL texts
 * other than the title add none either. */
LIFELOG_API ZLifelogActivity* _CreateMediaActivity(int type, const char* title, const char* uri,
                                                   int playTime, const char* artist,
                                                   const char* album, const char* category,
                                                   int cellId, int lac, int mcc, int mnc,
                                                   const char* location, unsigned int* err);
/** A photo activity (no table stores it). */
LIFELOG_API ZLifelogActivity* _CreatePhotoActivity(const char* title, const char* uri,
                                                   const char* tag, int cellId, int lac, int mcc,
                                                   int mnc, const char* location,
                                                   unsigned int* err);

/** Adds the four serving-cell items of the activity's kind (none for a photo)
 * and, when `location` is given, a "LOCATION" item.  Leaves the error slot as
 * it finds it on success; any failure sets 1, and the items already added
 * stay in the activity. */
LIFELOG_API void __AddLocatinInfo(ZLifelogActivity* activity, int cellId, int lac, int mcc, int mnc,
                                  const char* location, unsigned int* err);

/** Characters of a UTF-8 text (0 for NULL).  A lead byte counts as one
 * character with the bytes it announces; a sequence cut short by the end of
 * the text counts as one character and is never read past the terminator. */
LIFELOG_API uint32_t __LifelogUtil_getStringLengthUTF8(const char* text);
/** A new string holding the first `maxChars` characters of `text` (all of it
 * when shorter), never cut inside a sequence.  NULL text or maxChars 0: NULL
 * with the error slot untouched. */
LIFELOG_API char* __LifelogUtil_convertToTruncatedUTF8(const char* text, uint32_t maxChars,
                                                       unsigned int* err);

/** Reads "YYYY-MM-DD hh:mm:ss" into a DateTime (reserved 0).  Text not in
 * that form gives seven zeros and error 11. */
LIFELOG_API DateTime _ConvertToDate(const char* text, unsigned int* err);

/** A logger whose one handler writes to the lifelog database, which is
 * created with its tables when missing.  Note the error slot comes first. */
LIFELOG_API ZLifelogger* _CreateDBLifeLogger(unsigned int* err, int maxCountPerActivity);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_UTIL_H */
