#include "EditorState.h"

namespace qs {

bool gAddMode = false;
qint32 gNewID = 0;

} // namespace qs
