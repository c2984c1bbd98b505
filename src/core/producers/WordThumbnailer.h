#pragma once

#include "producers/OfficeThumbnailer.h"

// Word-processor documents: the office exports the chosen pages to PDF, pdftopng renders them.
class WordThumbnailer : public OfficeThumbnailer
{
    Q_OBJECT
    Q_DISABLE_COPY(WordThumbnailer)

public:
    explicit WordThumbnailer(std::shared_ptr<SharedOffice> office);
    std::unique_ptr<OfficeApplication> getWordInstance();
};
