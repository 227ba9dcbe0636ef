// Boost.JSON is used header-only: this is the program's one translation unit of its sources.
#include <boost/json/src.hpp>
