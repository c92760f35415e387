#pragma once
#define BANNER "quarn"
