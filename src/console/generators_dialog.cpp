#include "console/generators_dialog.h"

#include "generators/generators.h"

namespace {

// The generator list, its line, Add, the problem and Remove: 1601-1605.
constexpr int kFirstControlId = 1600;

}  // namespace

GeneratorsDialog::GeneratorsDialog(QWidget* owner)
    : TextListDialog(kGeneratorsTemplate, owner, kFirstControlId, kGeneratorTextSize - 1)
{
    Begin();
}

std::vector<TextListDialog::Row> GeneratorsDialog::Rows()
{
    std::vector<GeneratorView> views(kMaxGeneratorCount);
    const int count = CopyGenerators(views.data());
    std::vector<Row> rows;
    for (int index = 0; index < count; ++index) {
        rows.push_back(Row{views[index].id, QString::fromLatin1(views[index].text)});
    }
    return rows;
}

bool GeneratorsDialog::Readable(const std::string& text, std::string* problem)
{
    Generator generator;
    return ParseGenerator(text, &generator, problem);
}

bool GeneratorsDialog::Add(const std::string& text, std::string* problem)
{
    return AddGenerator(text, problem) != 0;
}

void GeneratorsDialog::Remove(unsigned id)
{
    RemoveGenerator(id);
}
