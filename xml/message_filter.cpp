// The message filter record: reset, and its element form.
#include "xml/message_filter.h"
