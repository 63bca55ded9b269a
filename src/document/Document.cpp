#include "document/Document.h"

#include <utility>

namespace ravolen {

DocumentSettings DefaultSettings(std::wstring_view deadlineFolder) {
    DocumentSettings settings;
    settings.deadline.command = DefaultDeadlineCommand(deadlineFolder);
    return settings;
}

UnifiedChoice DefaultUnified(const std::wstring& programFolder) {
    UnifiedChoice unified;
    unified.folder = programFolder + L"\\renderOutput";
    return unified;
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
        // Each row as the table shows it, under the unified boxes.
        request.rows.push_back(document.rows.job(position));
        request.numbers.push_back(static_cast<int>(position + 1));
    }
    return request;
}

SessionSettings SessionSettingsOf(const DocumentSettings& settings, const UnifiedChoice& unified) {
    SessionSettings session;
    session.installFolder = settings.installFolder;
    session.outputFolder = unified.folder;
    session.outputFormat = unified.format;
    session.unifiedFolder = unified.folderTicked;
    session.unifiedFormat = unified.formatTicked;
    // The format the names carry as the session holds them.
    session.appliedFormat = unified.formatTicked ? unified.format : std::wstring();
    session.deadlineCommand = settings.deadline.command;
    session.deadline = settings.deadline.settings;
    session.backburner = settings.backburner;
    session.night = settings.night;
    session.optionalColumns = settings.optionalColumns;
    return session;
}

DocumentSettings SettingsOf(const SessionSettings& session, DocumentSettings settings) {
    settings.installFolder = session.installFolder;
    settings.deadline.command = session.deadlineCommand;
    settings.deadline.settings = session.deadline;
    settings.backburner = session.backburner;
    settings.night = session.night;
    settings.optionalColumns = session.optionalColumns;
    return settings;
}

UnifiedChoice UnifiedChoiceOf(const SessionSettings& session) {
    return {session.outputFolder, session.outputFormat, session.unifiedFolder, session.unifiedFormat};
}

}  // namespace ravolen
