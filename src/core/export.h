// Internal companion of the public header for the translation units that
// define exported functions.
#pragma once

#include "orvdc.h"

// Defines an exported name as a second name of an existing exported function
// (one address, several names).  The names may be declared with different
// parameter types in the public header (encoder and decoder states, say), so
// the type check on aliases is silenced where such an alias is defined.
#define ORVDC_ALIAS(target) __attribute__((alias(#target)))
