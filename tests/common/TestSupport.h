#pragma once
// Stepped time and captured console output for the common library's tests.

#include "ConsoleCapture.h"
#include "SteppedClockTest.h"
