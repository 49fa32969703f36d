#pragma once

#include <QString>

// The maker's names and addresses as the program presents them. They are
// set once at start-up by CCustomBrand::Initialize (from the brand file
// "AppData" beside the program, or from the built-in defaults) and only read
// afterwards. They are empty until Initialize has run.
namespace Brand {

extern QString CompanyName;
extern QString CompanyURL;
extern QString SupportEmail;
extern QString SubscribeEmail;
extern QString ErrorReportEmail;

} // namespace Brand
