#include "models/id.hpp"
