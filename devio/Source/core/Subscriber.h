#pragma once
#include "core/Producer.h"
