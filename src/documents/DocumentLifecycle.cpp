#include "documents/DocumentLifecycle.h"

namespace {

const QString kCheckMessage = QStringLiteral("Check_OK_1");

Refusal refused(const char *text)
{
    return {kCheckMessage, QString::fromUtf8(text)};
}

QList<LifecycleRule> buildRules()
{
    using A = WindowAction;
    using G = StatusGate;
    QList<LifecycleRule> r;
    const auto add = [&r](LifecycleRule rule) { r.append(std::move(rule)); };
    // clang-format off
    // letter, runs in, during, entering, gates, lock, keeps lock, on refusal, next
    add({'A', {}, A::Add, Entering::AtStart, {}, false, false, OnRefusal::Stay, std::nullopt});
    add({'U', {}, A::Edit, Entering::WhenLocked, {G::Change}, true, true, OnRefusal::Stay, std::nullopt});
    // The save puts the window back to browsing itself, whether it stored or not.
    add({'Y', {A::Add, A::Edit}, std::nullopt, Entering::AtStart, {G::Save}, false, false, OnRefusal::Stay,
         std::nullopt});
    add({'N', {}, std::nullopt, Entering::AtStart, {}, false, false, OnRefusal::Stay, std::nullopt});
    add({'D', {}, A::Delete, Entering::WhenConfirmed, {G::Change, G::Save}, true, false, OnRefusal::Browse, A::Browse});
    add({'C', {}, A::Check, Entering::AtStart, {G::Approve}, true, false, OnRefusal::BrowseAndReread, A::Browse});
    add({'R', {}, A::Reset, Entering::AtStart, {G::Reset}, true, false, OnRefusal::BrowseAndReread, A::Browse});
    add({'F', {}, std::nullopt, Entering::AtStart, {}, false, false, OnRefusal::Stay, std::nullopt});
    add({'H', {}, std::nullopt, Entering::AtStart, {}, false, false, OnRefusal::Stay, std::nullopt});
    add({'Q', {}, std::nullopt, Entering::AtStart, {}, false, false, OnRefusal::Stay, std::nullopt});
    // Print and preview hand the document to the report list; copy, import
    // and close have rows so that they are known letters, and do nothing.
    for (char letter : {'P', 'V', 'L', 'M', 'O'})
        add({letter, {}, std::nullopt, Entering::AtStart, {}, false, false, OnRefusal::Stay, std::nullopt});
    // clang-format on
    return r;
}

} // namespace

namespace DocumentLifecycle {

const QList<LifecycleRule> &rules()
{
    static const QList<LifecycleRule> r = buildRules();
    return r;
}

const LifecycleRule *rule(char letter)
{
    for (const LifecycleRule &r : rules())
        if (r.letter == letter)
            return &r;
    return nullptr;
}

bool runsIn(const LifecycleRule &rule, WindowAction action)
{
    return rule.runsIn.isEmpty() || rule.runsIn.contains(action);
}

std::optional<Refusal> refusal(StatusGate gate, DocumentStatus status)
{
    using S = DocumentStatus;
    switch (gate) {
    case StatusGate::None:
        return std::nullopt;
    case StatusGate::Change:
        if (status == S::Approved)
            return refused("此单已审核, 不能进行修改!");
        if (status == S::Closed)
            return refused("此单已结案, 不能进行修改!");
        if (status == S::Gone)
            return refused("此单已被他人删除!");
        return std::nullopt;
    case StatusGate::Save:
        if (status != S::Open)
            return refused("此单已审核, 当前操作不能进行!");
        return std::nullopt;
    case StatusGate::Approve:
    case StatusGate::Reset:
        if (status == S::Gone)
            return refused("当前单据已被其他用户删除,请检查!");
        if (status == S::Closed)
            return refused("此单据已被结案,不能再进行操作!");
        if (gate == StatusGate::Approve && status == S::Approved)
            return refused("此单据已被审核,不能再审核!");
        if (gate == StatusGate::Reset && status == S::Open)
            return refused("此单据已被其他用户重置,不能再重置!");
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<Refusal> refusal(const LifecycleRule &rule, WindowAction action, DocumentStatus status)
{
    // A command that enters an action of its own checks in that action.
    const WindowAction checkedIn = rule.during.value_or(action);
    for (StatusGate gate : rule.gates) {
        // A header being added has no status yet.
        if (gate == StatusGate::Save && checkedIn == WindowAction::Add)
            continue;
        if (auto r = refusal(gate, status))
            return r;
    }
    return std::nullopt;
}

} // namespace DocumentLifecycle
