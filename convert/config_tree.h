// File: convert/config_tree.h - the configuration tree (tree/config_tree.h) under the conversion
// core's names, for the readers that know it from here.
#pragma once

#include "tree/config_tree.h"

namespace recaster::convert {

using tree::AppendElement;
using tree::BoolText;
using tree::ConfigTree;
using tree::NumberText;
using tree::PutBool;
using tree::PutNumber;
using tree::PutSubtree;
using tree::PutText;

}  // namespace recaster::convert
