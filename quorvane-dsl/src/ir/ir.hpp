// The layout IR: values, the data model and its text form.
#pragma once

#include "ir/model.hpp"
#include "ir/text.hpp"
#include "ir/value.hpp"
