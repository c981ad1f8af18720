<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>CustomProgressBar</name>
    <message>
        <source>Start</source>
        <translation>시작</translation>
    </message>
    <message>
        <source>End</source>
        <translation>끝</translation>
    </message>
</context>
<context>
    <name>DrillRow</name>
    <message>
        <source>Speed %1</source>
        <translation>속도 %1</translation>
    </message>
    <message>
        <source>Endless</source>
        <translation>끝없이</translation>
    </message>
    <message>
        <source>1 pass</source>
        <translation>1회</translation>
    </message>
    <message numerus="yes">
        <source>%n passes</source>
        <translation>
            <numerusform>%n회</numerusform>
        </translation>
    </message>
    <message>
        <source>Then On to the Next Phrase</source>
        <translation>이어서 다음 구절로</translation>
    </message>
    <message>
        <source>No pause</source>
        <translation>쉼 없음</translation>
    </message>
    <message>
        <source>As long as the loop</source>
        <translation>구간 길이만큼</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1초</translation>
    </message>
    <message>
        <source>Passes %1</source>
        <translation>반복 %1</translation>
    </message>
    <message>
        <source>Passes %1, Then On to the Next Phrase</source>
        <translation>반복 %1, 이어서 다음 구절로</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>끔</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>구간</translation>
    </message>
    <message>
        <source>Pause %1</source>
        <translation>쉼 %1</translation>
    </message>
</context>
<context>
    <name>HelpLabel</name>
    <message>
        <source>Help</source>
        <translation>도움말</translation>
    </message>
</context>
<context>
    <name>ImportStatus</name>
    <message numerus="yes">
        <source>Looking for audio files… %n found</source>
        <translation>
            <numerusform>오디오 파일을 찾는 중… %n개 찾음</numerusform>
        </translation>
    </message>
    <message>
        <source>No MP3 or MPEG-4 audio found</source>
        <translation>MP3 또는 MPEG-4 오디오 없음</translation>
    </message>
    <message>
        <source>Added 1 file to “%1”</source>
        <translation>“%1”에 파일 1개 추가됨</translation>
    </message>
    <message numerus="yes">
        <source>Added %n files to “%1”</source>
        <translation>
            <numerusform>“%1”에 파일 %n개 추가됨</numerusform>
        </translation>
    </message>
    <message>
        <source>No audio added: 1 file’s name is not UTF-8</source>
        <translation>추가된 오디오 없음: 파일 1개의 이름이 UTF-8이 아님</translation>
    </message>
    <message numerus="yes">
        <source>No audio added: %n files’ names are not UTF-8</source>
        <translation>
            <numerusform>추가된 오디오 없음: 파일 %n개의 이름이 UTF-8이 아님</numerusform>
        </translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>저장하지 못했습니다: %1</translation>
    </message>
    <message>
        <source>the folder is read-only</source>
        <translation>폴더가 읽기 전용입니다</translation>
    </message>
    <message>
        <source>the file is read-only</source>
        <translation>파일이 읽기 전용입니다</translation>
    </message>
    <message>
        <source>it is a directory</source>
        <translation>같은 이름의 폴더가 있습니다</translation>
    </message>
    <message>
        <source>the folder %1 cannot be created</source>
        <translation>폴더 %1을(를) 만들 수 없습니다</translation>
    </message>
    <message>
        <source>its unreadable content could not be copied aside first (%1)</source>
        <translation>읽을 수 없는 내용을 먼저 따로 복사해 두지 못했습니다 (%1)</translation>
    </message>
    <message>
        <source>it could not be read at start (%1), and a write would replace what it holds</source>
        <translation>시작할 때 읽지 못한 파일이라 쓰면 그 내용을 덮어쓰게 됩니다 (%1)</translation>
    </message>
    <message>
        <source>%1 (is the disk full?)</source>
        <translation>%1 (디스크가 가득 찼을 수 있습니다)</translation>
    </message>
    <message>
        <source>what was written does not read back whole</source>
        <translation>쓴 내용을 다시 읽으니 온전하지 않습니다</translation>
    </message>
    <message>
        <source>the new content could not be written</source>
        <translation>새 내용을 쓰지 못했습니다</translation>
    </message>
    <message>
        <source>the folder cannot be made</source>
        <translation>폴더를 만들 수 없습니다</translation>
    </message>
    <message numerus="yes">
        <source>; %n left out (names not UTF-8)</source>
        <translation>
            <numerusform>, %n개 제외 (이름이 UTF-8이 아님)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %n left out (not MP3 or MPEG-4 audio)</source>
        <translation>
            <numerusform>, %n개 제외 (MP3나 MPEG-4 오디오가 아님)</numerusform>
        </translation>
    </message>
    <message>
        <source>No audio added: 1 folder could not be read</source>
        <translation>추가된 오디오 없음: 폴더 1개를 읽을 수 없음</translation>
    </message>
    <message numerus="yes">
        <source>No audio added: %n folders could not be read</source>
        <translation>
            <numerusform>추가된 오디오 없음: 폴더 %n개를 읽을 수 없음</numerusform>
        </translation>
    </message>
    <message>
        <source>; 1 folder could not be read</source>
        <translation>, 폴더 1개를 읽을 수 없음</translation>
    </message>
    <message numerus="yes">
        <source>; %n folders could not be read</source>
        <translation>
            <numerusform>, 폴더 %n개를 읽을 수 없음</numerusform>
        </translation>
    </message>
    <message>
        <source>the settings reader could not open it</source>
        <translation>설정 파일을 열 수 없었습니다</translation>
    </message>
    <message numerus="yes">
        <source>; %n already there</source>
        <translation>
            <numerusform>, %n개는 이미 있음</numerusform>
        </translation>
    </message>
    <message>
        <source>Already in “%1”</source>
        <translation>이미 “%1”에 있음</translation>
    </message>
</context>
<context>
    <name>NewPlaylistSheet</name>
    <message>
        <source>Create</source>
        <translation>만들기</translation>
    </message>
    <message>
        <source>New Playlist</source>
        <translation>새 재생목록</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
</context>
<context>
    <name>PlayerCard</name>
    <message>
        <source>Save This Loop</source>
        <translation>이 구간 저장</translation>
    </message>
    <message>
        <source>Saved as Loop %1</source>
        <translation>저장됨: 구간 %1</translation>
    </message>
    <message>
        <source>Save This Loop (%1 Saved Already)</source>
        <translation>이 구간 저장 (이미 %1개 저장됨)</translation>
    </message>
    <message>
        <source>Recall Saved Loop %1</source>
        <translation>저장한 구간 %1 불러오기</translation>
    </message>
    <message>
        <source>Remove Saved Loop %1</source>
        <translation>저장한 구간 %1 지우기</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>재생 위치</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>음량</translation>
    </message>
</context>
<context>
    <name>PlayerDisplay</name>
    <message>
        <source>Loop %1 – </source>
        <translation>구간 %1 – </translation>
    </message>
    <message>
        <source>pause %1 s</source>
        <translation>쉼 %1초</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1초</translation>
    </message>
</context>
<context>
    <name>PlaylistListView</name>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>No playlists</source>
        <translation>재생목록 없음</translation>
    </message>
    <message>
        <source>No files</source>
        <translation>파일 없음</translation>
    </message>
    <message>
        <source>Playlists</source>
        <translation>재생목록</translation>
    </message>
</context>
<context>
    <name>PlaylistPanel</name>
    <message>
        <source>Playlists</source>
        <translation>재생목록</translation>
    </message>
    <message>
        <source>New</source>
        <translation>새로 만들기</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>삭제</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>파일 추가</translation>
    </message>
</context>
<context>
    <name>QFileDialog</name>
    <message>
        <source>Audio files (%1)</source>
        <translation>오디오 파일 (%1)</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>파일 추가</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Playlist Name</source>
        <translation>재생목록 이름</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>파일 추가</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>닫기</translation>
    </message>
</context>
<context>
    <name>TransportRow</name>
    <message>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>도움말</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>일시 정지</translation>
    </message>
</context>
<context>
    <name>UserGuideSheet</name>
    <message>
        <source>[ / ]: Loop Start/End Here</source>
        <translation>[ / ]: 여기서 구간 시작/끝</translation>
    </message>
    <message>
        <source>, / .: Loop Start Earlier/Later (50 ms)</source>
        <translation>, / .: 구간 시작을 더 이르게/더 늦게 (50 ms)</translation>
    </message>
    <message>
        <source>; / &apos;: Loop End Earlier/Later (50 ms)</source>
        <translation>; / &apos;: 구간 끝을 더 이르게/더 늦게 (50 ms)</translation>
    </message>
    <message>
        <source>Ctrl with , . ; &apos;: by 10 ms</source>
        <translation>Ctrl과 함께 , . ; &apos;: 10 ms씩</translation>
    </message>
    <message>
        <source>S or ㄴ: Save Loop · 1–9: Recall Saved Loop</source>
        <translation>S 또는 ㄴ: 구간 저장 · 1–9: 저장한 구간 불러오기</translation>
    </message>
    <message>
        <source>Delete or Backspace: Remove Saved Loop</source>
        <translation>Delete 또는 Backspace: 저장한 구간 지우기</translation>
    </message>
    <message>
        <source>P or ㅔ / N or ㅜ: Previous/Next Phrase</source>
        <translation>P 또는 ㅔ / N 또는 ㅜ: 이전/다음 구절</translation>
    </message>
    <message>
        <source>L or ㅣ: Loop This Phrase</source>
        <translation>L 또는 ㅣ: 이 구절 반복</translation>
    </message>
    <message>
        <source>- or _ / = or +: Slower/Faster</source>
        <translation>- 또는 _ / = 또는 +: 느리게/빠르게</translation>
    </message>
    <message>
        <source>0: Normal Speed</source>
        <translation>0: 보통 속도</translation>
    </message>
    <message>
        <source>User Guide</source>
        <translation>사용 안내</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>닫기</translation>
    </message>
    <message>
        <source>Space: Play/Pause</source>
        <translation>Space: 재생/일시 정지</translation>
    </message>
    <message>
        <source>B or ㅠ: Loop Start/End/Clear</source>
        <translation>B 또는 ㅠ: 구간 시작/끝/해제</translation>
    </message>
    <message>
        <source>←/→: Seek Backward/Forward</source>
        <translation>←/→: 뒤로/앞으로 이동</translation>
    </message>
    <message>
        <source>Mouse Wheel: Seek Backward/Forward</source>
        <translation>마우스 휠: 뒤로/앞으로 이동</translation>
    </message>
    <message>
        <source>Developer: </source>
        <translation>개발자: </translation>
    </message>
    <message>
        <source>Contact: </source>
        <translation>연락처: </translation>
    </message>
    <message>
        <source>Seek Interval: </source>
        <translation>이동 간격: </translation>
    </message>
    <message>
        <source>%1s</source>
        <comment>a seek interval in whole seconds</comment>
        <translation>%1초</translation>
    </message>
    <message>
        <source>Wheel over the Speed: Slower/Faster</source>
        <translation>속도 위에서 휠: 느리게/빠르게</translation>
    </message>
    <message>
        <source>Right-Click or Menu Key on the Bar: Saved Loops</source>
        <translation>막대에서 오른쪽 클릭 또는 메뉴 키: 저장한 구간</translation>
    </message>
    <message>
        <source>↑/↓: Playlists&apos; Rows · Volume ±5 %</source>
        <translation>↑/↓: 재생목록 행 · 음량 ±5 %</translation>
    </message>
    <message>
        <source>PgUp/PgDn · Home/End: Page · First/Last Row</source>
        <translation>PgUp/PgDn · Home/End: 한 화면 · 처음/마지막 행</translation>
    </message>
    <message>
        <source>Enter or Return: Play Track · Open/Close Playlist</source>
        <translation>Enter 또는 Return: 트랙 재생 · 재생목록 열기/닫기</translation>
    </message>
    <message>
        <source>Tab / Shift+Tab: Move Focus · Esc: Close</source>
        <translation>Tab / Shift+Tab: 포커스 이동 · Esc: 닫기</translation>
    </message>
</context>
</TS>
