/** @file zkivLifelog.h
 * @brief Every public declaration of the lifelog library in one include.
 *
 * Headers of objects that are not part of this build yet are skipped. */
#ifndef ZKIV_LIFELOG_H
#define ZKIV_LIFELOG_H

#include "zkivLifelogTypes.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggingHandler.h"
#include "zkivLifeloggerConsoleHandle.h"

#if defined(__has_include)
#if __has_include("zkivLifelogCommon.h")
#include "zkivLifelogCommon.h"
#endif
#if __has_include("zkivLifeloggerDBHandle.h")
#include "zkivLifeloggerDBHandle.h"
#endif
#if __has_include("zkivLifeloggerDefaultFilter.h")
#include "zkivLifeloggerDefaultFilter.h"
#endif
#if __has_include("zkivLifelogUtil.h")
#include "zkivLifelogUtil.h"
#endif
#if __has_include("zkivLifeloggingServiceUtil.h")
#include "zkivLifeloggingServiceUtil.h"
#endif
#if __has_include("zkivLifelogShortLogging.h")
#include "zkivLifelogShortLogging.h"
#endif
#if __has_include("zkivLifeloggingServiceImpl.h")
#include "zkivLifeloggingServiceImpl.h"
#endif
#if __has_include("zkivLifelogActivityEventController.h")
#include "zkivLifelogActivityEventController.h"
#endif
#if __has_include("zkivLifelogServer.h")
#include "zkivLifelogServer.h"
#endif
#if __has_include("zkivLifelogImpl.h")
#include "zkivLifelogImpl.h"
#endif
#if __has_include("zkivLifelogEnumerator.h")
#include "zkivLifelogEnumerator.h"
#endif
#endif

#endif /* ZKIV_LIFELOG_H */
