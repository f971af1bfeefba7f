#include "searchbudget.h"

bool SearchBudget::take()
{
    if (left >= 0)
        --left;
    return left >= 0;
}
