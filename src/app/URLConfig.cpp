// Addresses of the program's web site and of the help, support and about pages.
#include "app/URLConfig.h"

CURLConfig& CURLConfig::GetInstance()
{
    static CURLConfig instance;
    return instance;
}
