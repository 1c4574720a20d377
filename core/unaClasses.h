// Everything of the core runtime in one include: kernel services, events,
// gates, threads, the timer base, lists, memory/file/mapped streams and the
// utility routines.
#pragma once

#include "core/unaEvent.h"
#include "core/unaFileStream.h"
#include "core/unaGate.h"
#include "core/unaKernel.h"
#include "core/unaList.h"
#include "core/unaMappedMemory.h"
#include "core/unaObject.h"
#include "core/unaStream.h"
#include "core/unaThread.h"
#include "core/unaTimer.h"
#include "core/unaUtils.h"
