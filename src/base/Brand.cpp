#include "Brand.h"

namespace Brand {
QString CompanyName;
QString CompanyURL;
QString SupportEmail;
QString SubscribeEmail;
QString ErrorReportEmail;
} // namespace Brand
