// The field body of a "Received" trace field: its clauses and its date.
#pragma once

#include <string>

#include "mail/mime/datetime.h"
#include "mail/mime/fieldbody.h"

class DwStamp : public DwFieldBody {
public:
    DwStamp();
    DwStamp(const std::string& text, DwMessageComponent* parent);
    DwStamp(const DwStamp& other);
    DwStamp& operator=(const DwStamp& other);
    ~DwStamp() override;

    // The last ';' parts the clauses "from", "by", "via", "with", "id", "for" (in that order; a
    // keyword out of order is an ordinary word) from the date.
    void Parse() override;
    // The clauses that have a value, "; " and the date (left out when there is no date), folded.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    static DwStamp* NewStamp(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwStamp> sNewStampHook;

    const std::string& From() const { return clauses_[kFrom]; }
    const std::string& By() const { return clauses_[kBy]; }
    const std::string& Via() const { return clauses_[kVia]; }
    const std::string& With() const { return clauses_[kWith]; }
    const std::string& Id() const { return clauses_[kId]; }
    const std::string& For() const { return clauses_[kFor]; }
    const DwDateTime& Date() const { return date_; }

    void SetFrom(const std::string& value) { SetClause(kFrom, value); }
    void SetBy(const std::string& value) { SetClause(kBy, value); }
    void SetVia(const std::string& value) { SetClause(kVia, value); }
    void SetWith(const std::string& value) { SetClause(kWith, value); }
    void SetId(const std::string& value) { SetClause(kId, value); }
    void SetFor(const std::string& value) { SetClause(kFor, value); }
    void SetDate(const DwDateTime& date);

private:
    enum Clause { kFrom, kBy, kVia, kWith, kId, kFor, kClauses };
    void SetClause(Clause clause, const std::string& value);

    std::string clauses_[kClauses];
    DwDateTime date_;
};
