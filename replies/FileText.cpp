#include "replies/FileText.h"
