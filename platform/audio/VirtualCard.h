// The virtual card's configuration and inspection API, for tests, benchmarks
// and the program on machines without sound hardware. The card itself lives
// with the rest of its backend in platform/audio/virtual.
#pragma once

#include "platform/audio/virtual/VirtualCard.h"
