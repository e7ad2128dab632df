// Addresses of the program's web site and of the help, support and about pages.
#pragma once

class CURLConfig final
{
public:
    // The one instance, made on first use.
    static CURLConfig& GetInstance();

    const char* m_szWebSite = "https://vistrel.org";
    // Pages shipped beside the executable, relative to its folder.
    const char* m_szHelpPage = "doc/help.html";
    const char* m_szSupportPage = "doc/support.html";
    const char* m_szAboutPage = "doc/about.html";

private:
    CURLConfig() = default;
};
