/** @file zkivLifelog.h
 * @brief Every public declaration of the lifelog library in one include.
 */
#ifndef ZKIV_LIFELOG_H
#define ZKIV_LIFELOG_H

#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogTypes.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggerConsoleHandle.h"
#include "zkivLifeloggingHandler.h"

#include "zkivLifelogActivityEventController.h"
#include "zkivLifelogCommon.h"
#include "zkivLifelogEnumerator.h"
#include "zkivLifelogImpl.h"
#include "zkivLifelogServer.h"
#include "zkivLifelogShortLogging.h"
#include "zkivLifelogUtil.h"
#include "zkivLifeloggerDBHandle.h"
#include "zkivLifeloggerDefaultFilter.h"
#include "zkivLifeloggingServiceImpl.h"
#include "zkivLifeloggingServiceUtil.h"

#endif /* ZKIV_LIFELOG_H */
