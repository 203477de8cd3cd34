#pragma once

// The interface lives in the core now, beside the download routine that uses it.
#include "controller/HttpDownload.h"
