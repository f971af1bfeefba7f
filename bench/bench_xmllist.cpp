// Parsing, lookup and writing of XmlList documents at the sizes a large node
// reaches: a store with 10,000 schedule records, a 1,000-entry message body.
#include "trace.h"
#include "xmllist.h"

#include <benchmark/benchmark.h>

using Orvel::XmlList;

namespace {

QByteArray storeText(int records)
{
    XmlList store;
    for (int i = 0; i < records; ++i) {
        XmlList record;
        record.set(QStringLiteral("LastOccurance"), "20261205083000", XmlList::Replace);
        record.set(QStringLiteral("NextOccurance"), "20261206083000", XmlList::Replace);
        store.set(QStringLiteral("Policy %1-1-Backup-1").arg(i), record, XmlList::Replace);
    }
    return store.toBinary();
}

void parseStore(benchmark::State &state)
{
    const QByteArray text = storeText(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(XmlList::fromText(text, QStringLiteral("bench")));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(parseStore)->Arg(10000)->Unit(benchmark::kMillisecond);

// Lookups walk the entries in order: a key near the end is the worst case.
void lookupInStore(benchmark::State &state)
{
    const XmlList store = XmlList::fromText(storeText(10000), QStringLiteral("bench"));
    const QString key = QStringLiteral("Policy %1-1-Backup-1").arg(state.range(0));
    for (auto _ : state) {
        XmlList record;
        benchmark::DoNotOptimize(store.get(record, key));
    }
}
BENCHMARK(lookupInStore)->Arg(0)->Arg(5000)->Arg(9999)->Unit(benchmark::kMicrosecond);

void toBinary(benchmark::State &state)
{
    XmlList list;
    for (int i = 0; i < state.range(0); ++i)
        list.set(QStringLiteral("Key%1").arg(i), quint32(i), XmlList::Append);
    for (auto _ : state)
        benchmark::DoNotOptimize(list.toBinary());
}
BENCHMARK(toBinary)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The scheduler's store as its file text, written once per timer pass of a
// burst: for each schedule its last and next times with their UTC offsets.
void storeFileText(benchmark::State &state)
{
    XmlList store;
    for (int i = 0; i < state.range(0); ++i) {
        XmlList record;
        record.set(QStringLiteral("LastOccurance"), "20261205083000", XmlList::Replace);
        record.set(QStringLiteral("LastOccuranceUtcOffset"), qint32(3600), XmlList::Replace);
        record.set(QStringLiteral("NextOccurance"), "20261205093000", XmlList::Replace);
        record.set(QStringLiteral("NextOccuranceUtcOffset"), qint32(3600), XmlList::Replace);
        store.set(QStringLiteral("Policy-1-Backup-%1").arg(i), record, XmlList::Replace);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(store.toFileText());
    state.SetBytesProcessed(state.iterations() * store.toFileText().size());
}
BENCHMARK(storeFileText)->Arg(10000)->Unit(benchmark::kMillisecond);

void copyAndWrite(benchmark::State &state)
{
    const XmlList store =
        XmlList::fromText(storeText(int(state.range(0))), QStringLiteral("bench"));
    for (auto _ : state) {
        XmlList copy = store;
        copy.set(QStringLiteral("k"), "v", XmlList::Replace);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(copyAndWrite)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace
