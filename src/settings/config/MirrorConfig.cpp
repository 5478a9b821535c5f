// The build's mirror configuration (release hosts, or loopback for the demo or the end-to-end tests), see CMakeLists.txt.
#include "settings/MirrorConfig.h"

const char* const kMirrorUrls[kMirrorCount] = {
    SETUPTQ_MIRROR_1, SETUPTQ_MIRROR_2, SETUPTQ_MIRROR_3, SETUPTQ_MIRROR_4, SETUPTQ_MIRROR_5,
    SETUPTQ_MIRROR_6, SETUPTQ_MIRROR_7, SETUPTQ_MIRROR_8, SETUPTQ_MIRROR_9, SETUPTQ_MIRROR_10,
};
const char* const kHomePageUrl = SETUPTQ_HOME_PAGE;
