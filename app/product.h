// The product's name, version text and maker: shown by the program, and
// stamped into the version resource of every binary the package ships.
// Definitions only, so that the resource compiler reads this header too.
#ifndef HRX_APP_PRODUCT_H
#define HRX_APP_PRODUCT_H

#define PRODUCT_NAME "Halcyra.hrx"
#define PRODUCT_VERSION "Ver 1.25 Rev B"
#define COMPANY_NAME "Calloway Software"
#define COPYRIGHT_TEXT "Copyright (C) 2026 " COMPANY_NAME

#endif
