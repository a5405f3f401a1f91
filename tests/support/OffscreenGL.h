#ifndef CHIPDISK_OFFSCREENGL_H
#define CHIPDISK_OFFSCREENGL_H

#include "CHeadlessGL.h"

using OffscreenGL = CHeadlessGL;

#endif
