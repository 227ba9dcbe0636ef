// The tokenizer, the structure check, the tree builder and file loading.
#include "xml/xml_document.h"
