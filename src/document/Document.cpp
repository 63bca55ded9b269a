#include "document/Document.h"

#include <utility>

namespace ravolen {

DocumentSettings DefaultSettings(const std::wstring& programFolder, std::wstring_view deadlineFolder) {
    DocumentSettings settings;
    settings.unifiedFolder = programFolder + L"\\renderOutput";
    settings.deadline.command = DefaultDeadlineCommand(deadlineFolder);
    return settings;
}

UnifiedChoice UnifiedChoiceOf(const DocumentSettings& settings) {
    return {settings.unifiedFolder, settings.unifiedFormat, settings.unifiedFolderTicked,
            settings.unifiedFormatTicked, settings.appliedFormat};
}

void Apply(DocumentSettings& settings, const UnifiedChoice& choice) {
    settings.unifiedFolder = choice.folder;
    settings.unifiedFormat = choice.format;
    settings.unifiedFolderTicked = choice.folderTicked;
    settings.unifiedFormatTicked = choice.formatTicked;
    settings.appliedFormat = choice.applied;
}

RenderRequest RenderRequestOf(const Document& document, bool shutdownAfterwards) {
    RenderRequest request{document.settings.installFolder, document.rows.jobs(), shutdownAfterwards};
    request.retries = document.settings.night.retries;
    return request;
}

RenderRequest RenderRequestOf(const Document& document, const std::vector<std::size_t>& positions,
                              bool shutdownAfterwards) {
    RenderRequest request{document.settings.installFolder, {}, shutdownAfterwards};
    request.retries = document.settings.night.retries;
    for (const std::size_t position : positions) {
        if (position >= document.rows.count()) continue;
        // Each row with its own folder and name, as the table holds it.
        request.rows.push_back(document.rows.job(position));
        request.numbers.push_back(static_cast<int>(position + 1));
    }
    return request;
}

SessionSettings SessionSettingsOf(const DocumentSettings& settings) {
    SessionSettings session;
    session.installFolder = settings.installFolder;
    session.outputFolder = settings.unifiedFolder;
    session.outputFormat = settings.unifiedFormat;
    session.unifiedFolder = settings.unifiedFolderTicked;
    session.unifiedFormat = settings.unifiedFormatTicked;
    session.appliedFormat = settings.appliedFormat;
    session.deadlineCommand = settings.deadline.command;
    session.deadline = settings.deadline.settings;
    session.backburner = settings.backburner;
    session.night = settings.night;
    session.optionalColumns = settings.optionalColumns;
    return session;
}

DocumentSettings SettingsOf(const SessionSettings& session, DocumentSettings settings) {
    settings.installFolder = session.installFolder;
    settings.unifiedFolder = session.outputFolder;
    settings.unifiedFormat = session.outputFormat;
    settings.unifiedFolderTicked = session.unifiedFolder;
    settings.unifiedFormatTicked = session.unifiedFormat;
    settings.appliedFormat = session.appliedFormat;
    settings.deadline.command = session.deadlineCommand;
    settings.deadline.settings = session.deadline;
    settings.backburner = session.backburner;
    settings.night = session.night;
    settings.optionalColumns = session.optionalColumns;
    return settings;
}

}  // namespace ravolen
