#include "searchbudget.h"

bool SearchBudget::take()
{
    if (m_left >= 0)
        --m_left;
    return m_left >= 0;
}
