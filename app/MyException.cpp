// The program's own exception type for the adapter link.
#include "app/MyException.h"

void ThrowMyException(MyStatus status) {
    throw CMyException(status);
}
