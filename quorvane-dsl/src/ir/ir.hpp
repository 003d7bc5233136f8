#pragma once

// The layout IR: values, the data model and its text form.

#include "ir/model.hpp"
#include "ir/text.hpp"
#include "ir/value.hpp"
