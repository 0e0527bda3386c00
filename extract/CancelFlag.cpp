#include "extract/CancelFlag.h"

CancelFlag &ProgramCancelFlag()
{
    static CancelFlag flag;
    return flag;
}
