# Pester 5 tests of src/backlight/keyboard.ps1, run by PowerShell 7 on Linux.
#
# The script is dot-sourced, which defines its functions without running its
# body; every call into the platform (the ThinkPad driver, the HID libraries,
# WMI) goes through one small function of the script, mocked here. The
# Framework back-end is also run for real, as a child process, against fake
# tools (fake-tool.sh copied under the tools' names). On Linux the ThinkPad
# and HID probes compile their C# and then fail when the native library is
# looked up, and WMI fails because the CIM cmdlets do not exist: the
# end-to-end runs that reach them check exactly that outcome.

BeforeAll {
    $script:ScriptPath = (Resolve-Path (Join-Path $PSScriptRoot '../../../src/backlight/keyboard.ps1')).Path
    $script:FakeTool = Join-Path $PSScriptRoot 'fake-tool.sh'
    $script:Pwsh = $env:KEYBOARD_TEST_PWSH
    if ([string]::IsNullOrEmpty($script:Pwsh)) { $script:Pwsh = (Get-Command pwsh -CommandType Application).Source }
    . $script:ScriptPath

    # A directory holding the named fake tools, each with its queue of replies.
    function New-ToolDir([hashtable]$Replies = @{}) {
        $dir = Join-Path $TestDrive ([guid]::NewGuid().ToString('N'))
        $null = New-Item -ItemType Directory -Path $dir
        foreach ($name in $Replies.Keys) {
            $tool = Join-Path $dir $name
            Copy-Item -LiteralPath $script:FakeTool -Destination $tool
            & chmod +x $tool
            Set-Content -LiteralPath "$tool.replies" -Value @($Replies[$name])
        }
        return $dir
    }

    # The argument lines a fake tool was called with, oldest first.
    function Get-ToolCalls([string]$Dir, [string]$Name) {
        $log = Join-Path $Dir "$Name.log"
        if (-not (Test-Path -LiteralPath $log)) { return @() }
        return @(Get-Content -LiteralPath $log)
    }

    # Runs the script as the program does, with its twelve arguments.
    function Invoke-KeyboardScript([string[]]$ScriptArguments) {
        $info = New-Object System.Diagnostics.ProcessStartInfo $script:Pwsh
        foreach ($argument in @('-NoProfile', '-NonInteractive', '-ExecutionPolicy', 'Bypass', '-File', $script:ScriptPath) + $ScriptArguments) {
            $info.ArgumentList.Add($argument)
        }
        $info.UseShellExecute = $false
        $info.RedirectStandardOutput = $true
        $info.RedirectStandardError = $true
        $process = [System.Diagnostics.Process]::Start($info)
        $stderr = $process.StandardError.ReadToEndAsync()
        $stdout = $process.StandardOutput.ReadToEnd()
        $process.WaitForExit()
        return [pscustomobject]@{ ExitCode = $process.ExitCode; Stdout = $stdout; Stderr = $stderr.Result }
    }

    function Invoke-Read([string]$Dir) {
        return Invoke-KeyboardScript @('-Mode', 'read', '-Level', '0', '-FrameworkDir', $Dir)
    }

    function Invoke-Write([int]$Wanted, [string]$Dir) {
        return Invoke-KeyboardScript @('-Mode', 'write', '-Level', [string]$Wanted, '-FrameworkDir', $Dir)
    }

    function Get-FrameworkJson([bool]$Known, [int]$Lvl, [bool]$Applied, [bool]$Verified, [string]$Reason) {
        $b = { param($v) if ($v) { 'true' } else { 'false' } }
        return '{"available":true,"known":' + (& $b $Known) + ',"level":' + $Lvl +
            ',"max_level":2,"source":"framework","applied":' + (& $b $Applied) +
            ',"verified":' + (& $b $Verified) + ',"reason":"' + $Reason + '"}'
    }

    # What the non-Framework probes give on this host, taken from the platform
    # calls themselves rather than from the back-end logic under test.
    function Get-HostNotFoundReason {
        Initialize-TpType
        Initialize-HidType
        $tp = try { $null = [TpKbBacklight]::Call(0x222680, 0); 'no failure' } catch { Get-ErrorText $_ }
        $hid = try { $null = [HidKbBacklight]::Find(); 'no failure' } catch { Get-ErrorText $_ }
        $wmi = try { $null = Get-CimClass -Namespace 'root/WMI' -ClassName 'LENOVO_LIGHTING_METHOD'; 'no failure' } catch { $_.Exception.Message }
        return "aucune interface de retroeclairage clavier detectee (ThinkPad PM : $tp; HID : $hid; Lenovo WMI : $wmi)"
    }

    # A stand-in for the ThinkPad driver: answers reads with its state and
    # records every value written; a write moves it to AfterSet.
    function New-TpDriver([int]$State, $AfterSet = $null) {
        $script:Driver = @{
            State    = $State
            AfterSet = $AfterSet
            Reads    = 0
            Sets     = New-Object 'System.Collections.Generic.List[int]'
        }
        Mock Invoke-TpCall {
            param($Code, $Value)
            if ($Code -eq 0x222684) {
                $script:Driver.Sets.Add($Value)
                if ($null -ne $script:Driver.AfterSet) { $script:Driver.State = $script:Driver.AfterSet }
                return 0
            }
            if ($Code -ne 0x222680 -or $Value -ne 0) { throw "appel inattendu $Code $Value" }
            $script:Driver.Reads++
            return $script:Driver.State
        }
    }

    function New-HidDevice([int]$Min, [int]$Max, [bool]$Feature = $true, [int]$FeatureMin = $Min, [int]$FeatureMax = $Max) {
        Initialize-HidType
        return New-Object 'HidKbBacklight+Device' -Property @{
            Path = '\\?\hid#vid_0000&pid_0000#kb'; OutputLength = 3; FeatureLength = 3
            HasOutput = $true; HasFeature = $Feature; OutputReportId = 1; FeatureReportId = 2
            LogicalMin = $Min; LogicalMax = $Max; FeatureMin = $FeatureMin; FeatureMax = $FeatureMax
        }
    }

    function New-HidState([bool]$Known, [long]$Raw = 0, [int]$Min = 0, [int]$Max = 255) {
        Initialize-HidType
        return New-Object 'HidKbBacklight+State' -Property @{ Known = $Known; Raw = $Raw; Min = $Min; Max = $Max }
    }

    function Set-OnlyBackend([string]$Name) {
        foreach ($backend in 'Invoke-FrameworkBackend', 'Invoke-ThinkPadBackend', 'Invoke-HidBackend', 'Invoke-LenovoWmiBackend') {
            if ($backend -ne $Name) { Mock $backend { return $false } }
        }
    }
}

Describe 'Loading' {
    It 'defines its functions without printing or exiting when dot-sourced' {
        $output = . $script:ScriptPath
        $output | Should -BeNullOrEmpty
        Get-Command Invoke-Backlight -CommandType Function | Should -Not -BeNullOrEmpty
    }

    It 'keeps the script ASCII with single line feeds, no byte-order mark and a final line feed' {
        $bytes = [System.IO.File]::ReadAllBytes($script:ScriptPath)
        $bad = @($bytes | Where-Object { $_ -ne 10 -and ($_ -lt 32 -or $_ -gt 126) })
        $bad.Count | Should -Be 0
        $bytes[-1] | Should -Be 10
    }

    It 'compiles both inline types with Add-Type' {
        Initialize-TpType
        Initialize-HidType
        [TpKbBacklight].GetMethod('Call') | Should -Not -BeNullOrEmpty
        foreach ($method in 'Find', 'Read', 'Write') {
            [HidKbBacklight].GetMethod($method) | Should -Not -BeNullOrEmpty
        }
    }

    It 'does not compile a type a second time once it is loaded' {
        Initialize-TpType
        Initialize-HidType
        Mock Add-Type { }
        Initialize-TpType
        Initialize-HidType
        Should -Invoke Add-Type -Times 0 -Exactly
    }
}

Describe 'Result bookkeeping' {
    BeforeEach { Initialize-Result }

    It 'starts from the documented values' {
        ($script:result.Keys -join ',') | Should -BeExactly 'available,known,level,max_level,source,applied,verified,reason'
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"verified":false,"reason":""}'
        $script:errors.Count | Should -Be 0
    }

    It 'keeps the first error' {
        Add-Error 'premiere'
        Add-Error 'seconde'
        $script:result.reason | Should -BeExactly 'premiere'
    }

    It 'treats a reason made of white space as empty' {
        $script:result.reason = " `t "
        Add-Error 'vraie'
        $script:result.reason | Should -BeExactly 'vraie'
    }

    It 'unwraps the message of a failed .NET call' {
        $text = try { [int]::Parse('x') } catch { Get-ErrorText $_ }
        $inner = try { [int]::Parse('x') } catch { $_.Exception.InnerException.Message }
        $inner | Should -Not -BeNullOrEmpty
        $text | Should -BeExactly $inner
        $(try { throw 'texte simple' } catch { Get-ErrorText $_ }) | Should -BeExactly 'texte simple'
    }

    It 'prints the result as compact JSON and exits with 0' {
        Mock Exit-Script { }
        $script:result.available = $true
        $script:result.known = $true
        $script:result.level = 1
        $script:result.source = 'thinkpad-pm'
        $output = Emit-Result
        $output | Should -BeExactly '{"available":true,"known":true,"level":1,"max_level":2,"source":"thinkpad-pm","applied":false,"verified":false,"reason":""}'
        Should -Invoke Exit-Script -Times 1 -Exactly -ParameterFilter { $Code -eq 0 }
    }

    It 'says no interface was found, without parenthesis when every probe was silent' {
        Complete-NotFound
        $script:result.reason | Should -BeExactly 'aucune interface de retroeclairage clavier detectee'
    }

    It 'replaces an earlier reason and lists the diagnostics joined with "; "' {
        Add-Error 'Framework : panne'
        Add-Diagnostic 'ThinkPad PM : retroeclairage non pret'
        Add-Diagnostic 'HID : echec'
        Complete-NotFound
        $script:result.reason | Should -BeExactly 'aucune interface de retroeclairage clavier detectee (ThinkPad PM : retroeclairage non pret; HID : echec)'
    }

    It 'leaves the reason alone when an interface was found' {
        $script:result.available = $true
        Add-Error 'Framework : panne'
        Add-Diagnostic 'HID : echec'
        Complete-NotFound
        $script:result.reason | Should -BeExactly 'Framework : panne'
    }
}

Describe 'Back-end order' {
    BeforeEach {
        $script:order = New-Object 'System.Collections.Generic.List[string]'
        $script:found = ''
        foreach ($backend in 'Invoke-FrameworkBackend', 'Invoke-ThinkPadBackend', 'Invoke-HidBackend', 'Invoke-LenovoWmiBackend') {
            Mock $backend -MockWith ([scriptblock]::Create("`$script:order.Add('$backend'); return (`$script:found -eq '$backend')"))
        }
    }

    It 'tries every back-end in order and then reports none' {
        Invoke-Backlight -Mode 'read' -Level 0 -FrameworkDir ''
        ($script:order -join ',') | Should -BeExactly 'Invoke-FrameworkBackend,Invoke-ThinkPadBackend,Invoke-HidBackend,Invoke-LenovoWmiBackend'
        $script:result.reason | Should -BeExactly 'aucune interface de retroeclairage clavier detectee'
    }

    It 'stops at the first back-end found' {
        $script:found = 'Invoke-ThinkPadBackend'
        Invoke-Backlight -Mode 'read' -Level 0 -FrameworkDir ''
        ($script:order -join ',') | Should -BeExactly 'Invoke-FrameworkBackend,Invoke-ThinkPadBackend'
        $script:result.reason | Should -BeExactly ''
    }

    It 'passes the mode, the level and the tool directory on' {
        Invoke-Backlight -Mode 'write' -Level 2 -FrameworkDir '/opt/fw'
        Should -Invoke Invoke-FrameworkBackend -Times 1 -Exactly -ParameterFilter { $Mode -eq 'write' -and $Level -eq 2 -and $Dir -eq '/opt/fw' }
        Should -Invoke Invoke-LenovoWmiBackend -Times 1 -Exactly -ParameterFilter { $Mode -eq 'write' -and $Level -eq 2 }
    }
}

Describe 'Framework tools, run end to end' {
    It 'reads <Percent> as level <Expected>' -TestCases @(
        @{ Percent = '50'; Expected = 1 }
        @{ Percent = '74'; Expected = 1 }
        @{ Percent = '75'; Expected = 2 }
        @{ Percent = '24'; Expected = 0 }
    ) {
        $dir = New-ToolDir @{ 'framework_tool.exe' = "Keyboard backlight: $Percent%" }
        $run = Invoke-Read $dir
        $run.ExitCode | Should -Be 0
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true $Expected $false $false '') + "`n")
        Get-ToolCalls $dir 'framework_tool.exe' | Should -BeExactly @('[--kblight]')
    }

    It 'counts the first percentage of the output, on standard error too' {
        $dir = New-ToolDir @{ 'framework_tool.exe' = 'stderr:now 80 % (was 10%)' }
        $run = Invoke-Read $dir
        $run.ExitCode | Should -Be 0
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 2 $false $false '') + "`n")
    }

    It 'uses qmk_hid.exe when framework_tool.exe is absent' {
        $dir = New-ToolDir @{ 'qmk_hid.exe' = '100%' }
        $run = Invoke-Read $dir
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 2 $false $false '') + "`n")
        Get-ToolCalls $dir 'qmk_hid.exe' | Should -BeExactly @('[via][--backlight]')
    }

    It 'uses qmk_hid.exe when framework_tool.exe gives no percentage' {
        $dir = New-ToolDir @{ 'framework_tool.exe' = 'Unsupported command'; 'qmk_hid.exe' = '30 %' }
        $run = Invoke-Read $dir
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 1 $false $false '') + "`n")
        Get-ToolCalls $dir 'framework_tool.exe' | Should -BeExactly @('[--kblight]')
        Get-ToolCalls $dir 'qmk_hid.exe' | Should -BeExactly @('[via][--backlight]')
    }

    It 'writes level 2 as 100 with framework_tool.exe and verifies the read-back' {
        $dir = New-ToolDir @{ 'framework_tool.exe' = @('10%', '', '100%') }
        $run = Invoke-Write 2 $dir
        $run.ExitCode | Should -Be 0
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 2 $true $true '') + "`n")
        Get-ToolCalls $dir 'framework_tool.exe' | Should -BeExactly @('[--kblight]', '[--kblight][100]', '[--kblight]')
    }

    It 'writes level 0 as 0 with qmk_hid.exe; a different read-back is not verified' {
        $dir = New-ToolDir @{ 'qmk_hid.exe' = @('60%', 'ok', '40%') }
        $run = Invoke-Write 0 $dir
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 1 $true $false '') + "`n")
        Get-ToolCalls $dir 'qmk_hid.exe' | Should -BeExactly @('[via][--backlight]', '[via][--backlight][0]', '[via][--backlight]')
    }

    It 'writes level 1 as 50 and says when the read-back gives no percentage' {
        $dir = New-ToolDir @{ 'framework_tool.exe' = @('0%', '', 'busy') }
        $run = Invoke-Write 1 $dir
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 1 $true $false 'commande Framework envoyee ; confirmation indisponible') + "`n")
        Get-ToolCalls $dir 'framework_tool.exe' | Should -BeExactly @('[--kblight]', '[--kblight][50]', '[--kblight]')
    }

    It 'refuses level 3 and sends nothing' {
        $dir = New-ToolDir @{ 'framework_tool.exe' = @('50%', '', '100%') }
        $run = Invoke-Write 3 $dir
        $run.Stdout | Should -BeExactly ((Get-FrameworkJson $true 1 $false $false 'niveau hors limites') + "`n")
        Get-ToolCalls $dir 'framework_tool.exe' | Should -BeExactly @('[--kblight]')
    }

    It 'skips the back-end without a diagnostic when <Case>' -TestCases @(
        @{ Case = 'the tool directory is empty'; Tools = $null }
        @{ Case = 'the directory has no tool'; Tools = @{} }
        @{ Case = 'neither tool gives a percentage'; Tools = @{ 'framework_tool.exe' = 'error'; 'qmk_hid.exe' = 'no device' } }
    ) {
        $dir = if ($null -eq $Tools) { '' } else { New-ToolDir $Tools }
        $run = Invoke-Read $dir
        $run.ExitCode | Should -Be 0
        $run.Stdout | Should -Match '^\{"available":false,"known":false,"level":0,"max_level":2,"source":"","applied":false,"verified":false,"reason":"aucune interface de retroeclairage clavier detectee \(ThinkPad PM : '
        $json = $run.Stdout | ConvertFrom-Json
        $json.reason | Should -BeExactly (Get-HostNotFoundReason)
        $json.reason | Should -Not -Match 'Framework'
    }
}

Describe 'Arguments' {
    It 'fails with a nonzero exit code and no JSON for -Mode <Value>' -TestCases @(
        @{ Value = 'bogus' }
        @{ Value = '' }
    ) {
        $run = Invoke-KeyboardScript @('-Mode', $Value, '-Level', '0', '-FrameworkDir', '')
        $run.ExitCode | Should -Not -Be 0
        $run.Stdout.Trim() | Should -BeExactly ''
        $run.Stderr | Should -Match 'Mode'
    }

    It 'fails with a nonzero exit code and no JSON for a level that is not a number' {
        $run = Invoke-KeyboardScript @('-Mode', 'write', '-Level', 'haut', '-FrameworkDir', '')
        $run.ExitCode | Should -Not -Be 0
        $run.Stdout.Trim() | Should -BeExactly ''
    }
}

Describe 'Framework tools, in process' {
    BeforeEach { Initialize-Result }

    It 'finds the percentage <Expected> in "<Text>"' -TestCases @(
        @{ Text = '50%'; Expected = 50 }
        @{ Text = "level`t 7`n%"; Expected = 7 }
        @{ Text = 'a 5% b 90%'; Expected = 5 }
        @{ Text = '100%'; Expected = 100 }
        @{ Text = '1234%'; Expected = 234 }
    ) {
        Get-FrameworkPercent $Text | Should -Be $Expected
    }

    It 'finds no percentage in "<Text>"' -TestCases @(
        @{ Text = '' }
        @{ Text = '50' }
        @{ Text = 'percent: %' }
    ) {
        Get-FrameworkPercent $Text | Should -BeNullOrEmpty
    }

    It 'maps <Percent> percent to level <Expected>' -TestCases @(
        @{ Percent = 0; Expected = 0 }
        @{ Percent = 24; Expected = 0 }
        @{ Percent = 25; Expected = 1 }
        @{ Percent = 74; Expected = 1 }
        @{ Percent = 75; Expected = 2 }
        @{ Percent = 100; Expected = 2 }
        @{ Percent = 999; Expected = 2 }
    ) {
        ConvertFrom-FrameworkPercent $Percent | Should -Be $Expected
    }

    It 'treats a missing tool as giving no output' {
        $dir = New-ToolDir @{}
        Invoke-FrameworkTool $dir 'framework_tool.exe' @('--kblight') | Should -BeNullOrEmpty
    }

    It 'captures standard output and standard error together' {
        $dir = New-ToolDir @{ 'qmk_hid.exe' = 'stderr:Brightness: 42%' }
        Invoke-FrameworkTool $dir 'qmk_hid.exe' @('via', '--backlight') | Should -BeExactly 'Brightness: 42%'
    }

    It 'refuses level -1 and sends nothing' {
        $dir = New-ToolDir @{ 'framework_tool.exe' = @('80%', '', '0%') }
        Invoke-FrameworkBackend 'write' -1 $dir | Should -BeTrue
        $script:result.reason | Should -BeExactly 'niveau hors limites'
        $script:result.applied | Should -BeFalse
        Get-ToolCalls $dir 'framework_tool.exe' | Should -BeExactly @('[--kblight]')
    }

    It 'records an exception as the reason and goes on' {
        Mock Invoke-FrameworkTool { throw 'outil en panne' }
        Invoke-FrameworkBackend 'read' 0 '/opt/fw' | Should -BeFalse
        $script:result.reason | Should -BeExactly 'Framework : outil en panne'
        $script:result.available | Should -BeFalse
        $script:errors.Count | Should -Be 0
    }

    It 'keeps the Framework reason when a later back-end answers' {
        Mock Invoke-FrameworkTool { throw 'outil en panne' }
        New-TpDriver 0x50202
        Mock Find-HidDevice { throw 'ne doit pas etre appele' }
        Invoke-Backlight -Mode 'read' -Level 0 -FrameworkDir '/opt/fw'
        $script:result.source | Should -BeExactly 'thinkpad-pm'
        $script:result.level | Should -Be 2
        $script:result.reason | Should -BeExactly 'Framework : outil en panne'
    }

    It 'loses a Framework probe failure once no back-end is found' {
        Mock Invoke-FrameworkTool { throw 'outil en panne' }
        Set-OnlyBackend 'Invoke-FrameworkBackend'
        Invoke-Backlight -Mode 'read' -Level 0 -FrameworkDir '/opt/fw'
        $script:result.reason | Should -BeExactly 'aucune interface de retroeclairage clavier detectee'
    }

    It 'skips an empty tool directory without running anything' {
        Mock Invoke-FrameworkTool { throw 'ne doit pas etre appele' }
        Invoke-FrameworkBackend 'read' 0 '' | Should -BeFalse
        $script:result.reason | Should -BeExactly ''
        Should -Invoke Invoke-FrameworkTool -Times 0 -Exactly
    }
}

Describe 'ThinkPad PM, state decoding' {
    It 'decodes <State>: level <Lvl>, maximum <Max>, ready <Ready>' -TestCases @(
        @{ State = 0x50201; Lvl = 1; Max = 2; Ready = $true }
        @{ State = 0x40201; Lvl = 1; Max = 2; Ready = $false }
        @{ State = 0x250102; Lvl = 2; Max = 1; Ready = $true }
        @{ State = 0x150F0F; Lvl = 15; Max = 15; Ready = $true }
        @{ State = 0x6F000; Lvl = 0; Max = 0; Ready = $false }
        @{ State = -1; Lvl = 15; Max = 15; Ready = $false }
    ) {
        Get-TpLevel $State | Should -Be $Lvl
        Get-TpMaxLevel $State | Should -Be $Max
        Test-TpReady $State | Should -Be $Ready
    }

    It 'writes <Expected> for level <Wanted> from state <State>' -TestCases @(
        @{ State = 0x250201; Wanted = 2; Expected = 0x102 }
        @{ State = 0x50231; Wanted = 2; Expected = 0x32 }
        @{ State = 0x2502F1; Wanted = 0; Expected = 0x1F0 }
        @{ State = 0x50205; Wanted = 1; Expected = 0x1 }
    ) {
        Get-TpWriteValue $State $Wanted | Should -Be $Expected
    }
}

Describe 'ThinkPad PM, back-end' {
    BeforeEach { Initialize-Result }

    It 'reads a ready driver with the get code and input 0' {
        New-TpDriver 0x50201
        Invoke-ThinkPadBackend 'read' 0 | Should -BeTrue
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":true,"level":1,"max_level":2,"source":"thinkpad-pm","applied":false,"verified":false,"reason":""}'
        Should -Invoke Invoke-TpCall -Times 1 -Exactly -ParameterFilter { $Code -eq 2238080 -and $Value -eq 0 }
    }

    It 'clamps the maximum to <Max> and the level to <Lvl> for state <State>' -TestCases @(
        @{ State = 0x50F0F; Max = 2; Lvl = 2 }
        @{ State = 0x50003; Max = 1; Lvl = 1 }
        @{ State = 0x50100; Max = 1; Lvl = 0 }
    ) {
        New-TpDriver $State
        Invoke-ThinkPadBackend 'read' 0 | Should -BeTrue
        $script:result.max_level | Should -Be $Max
        $script:result.level | Should -Be $Lvl
    }

    It 'puts a driver that is not ready in the diagnostics only' {
        New-TpDriver 0x40201
        Invoke-ThinkPadBackend 'read' 0 | Should -BeFalse
        $script:result.available | Should -BeFalse
        $script:result.reason | Should -BeExactly ''
        @($script:errors) | Should -BeExactly @('ThinkPad PM : retroeclairage non pret')
    }

    It 'ends with the not-ready diagnostic when nothing else is found' {
        New-TpDriver 0x40201
        Set-OnlyBackend 'Invoke-ThinkPadBackend'
        Invoke-Backlight -Mode 'read' -Level 0 -FrameworkDir ''
        $script:result.reason | Should -BeExactly 'aucune interface de retroeclairage clavier detectee (ThinkPad PM : retroeclairage non pret)'
    }

    It 'stays silent when the driver is absent' {
        Mock Invoke-TpCall { throw [System.InvalidOperationException]::new('IBMPmDrv absent (erreur 2)') }
        Invoke-ThinkPadBackend 'read' 0 | Should -BeFalse
        $script:errors.Count | Should -Be 0
        $script:result.reason | Should -BeExactly ''
    }

    It 'puts any other failure in the diagnostics' {
        Mock Invoke-TpCall { throw [System.InvalidOperationException]::new('DeviceIoControl 2238080 (erreur 1)') }
        Invoke-ThinkPadBackend 'read' 0 | Should -BeFalse
        @($script:errors) | Should -BeExactly @('ThinkPad PM : DeviceIoControl 2238080 (erreur 1)')
    }

    It 'writes level 2 as 0x102 with the set code, reads back and verifies' {
        New-TpDriver 0x250201 0x250202
        Invoke-ThinkPadBackend 'write' 2 | Should -BeTrue
        @($script:Driver.Sets) | Should -BeExactly @(0x102)
        Should -Invoke Invoke-TpCall -Times 1 -Exactly -ParameterFilter { $Code -eq 2238084 -and $Value -eq 0x102 }
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":true,"level":2,"max_level":2,"source":"thinkpad-pm","applied":true,"verified":true,"reason":""}'
    }

    It 'writes level 2 as 0x32 when bit 21 is clear' {
        New-TpDriver 0x50231 0x50232
        Invoke-ThinkPadBackend 'write' 2 | Should -BeTrue
        @($script:Driver.Sets) | Should -BeExactly @(0x32)
        $script:result.verified | Should -BeTrue
    }

    It 'refuses level <Wanted> above a maximum of <Max> and writes nothing' -TestCases @(
        @{ State = 0x50101; Wanted = 2; Max = 1 }
        @{ State = 0x50201; Wanted = -1; Max = 2 }
        @{ State = 0x50201; Wanted = 3; Max = 2 }
    ) {
        New-TpDriver $State
        Invoke-ThinkPadBackend 'write' $Wanted | Should -BeTrue
        $script:Driver.Sets.Count | Should -Be 0
        $script:result.reason | Should -BeExactly 'niveau hors limites'
        $script:result.applied | Should -BeFalse
        $script:result.known | Should -BeTrue
        $script:result.max_level | Should -Be $Max
    }

    It 'says when the read-back differs' {
        New-TpDriver 0x50201
        Invoke-ThinkPadBackend 'write' 2 | Should -BeTrue
        $script:result.applied | Should -BeTrue
        $script:result.verified | Should -BeFalse
        $script:result.level | Should -Be 1
        $script:result.reason | Should -BeExactly 'lecture de confirmation differente'
    }

    It 'loses the level when the driver stops being ready before the write' {
        $script:reads = 0
        Mock Invoke-TpCall {
            param($Code, $Value)
            $script:reads++
            if ($script:reads -eq 1) { return 0x50201 }
            return 0x4AB01
        }
        Invoke-ThinkPadBackend 'write' 2 | Should -BeTrue
        $script:result.known | Should -BeFalse
        $script:result.applied | Should -BeFalse
        $script:result.reason | Should -BeExactly 'retroeclairage non pret (0x4AB01)'
        Should -Invoke Invoke-TpCall -Times 0 -Exactly -ParameterFilter { $Code -eq 0x222684 }
    }

    It 'loses the level when the write itself fails' {
        Mock Invoke-TpCall {
            param($Code, $Value)
            if ($Code -eq 0x222684) { throw [System.InvalidOperationException]::new('DeviceIoControl 2238084 (erreur 31)') }
            return 0x50201
        }
        Invoke-ThinkPadBackend 'write' 0 | Should -BeTrue
        $script:result.known | Should -BeFalse
        $script:result.reason | Should -BeExactly 'DeviceIoControl 2238084 (erreur 31)'
    }
}

Describe 'HID, level mapping' {
    It 'gives maximum <Expected> for the range <Min>..<Max>' -TestCases @(
        @{ Min = 0; Max = 1; Expected = 1 }
        @{ Min = 0; Max = 0; Expected = 1 }
        @{ Min = 5; Max = 6; Expected = 1 }
        @{ Min = 0; Max = 2; Expected = 2 }
        @{ Min = 0; Max = 255; Expected = 2 }
        @{ Min = -5; Max = -3; Expected = 2 }
        @{ Min = -1; Max = 0; Expected = 1 }
    ) {
        Get-HidMaxLevel $Min $Max | Should -Be $Expected
    }

    It 'normalises <Raw> in <Min>..<Max> to <Expected>' -TestCases @(
        @{ Raw = 0; Min = 0; Max = 255; Expected = 0 }
        @{ Raw = 1; Min = 0; Max = 255; Expected = 1 }
        @{ Raw = 169; Min = 0; Max = 255; Expected = 1 }
        @{ Raw = 170; Min = 0; Max = 255; Expected = 2 }
        @{ Raw = 255; Min = 0; Max = 255; Expected = 2 }
        @{ Raw = -3; Min = 0; Max = 255; Expected = 0 }
        @{ Raw = 1; Min = 0; Max = 1; Expected = 1 }
        @{ Raw = 0; Min = 0; Max = 1; Expected = 0 }
        @{ Raw = 69; Min = 10; Max = 100; Expected = 1 }
        @{ Raw = 70; Min = 10; Max = 100; Expected = 2 }
        @{ Raw = 5; Min = 10; Max = 100; Expected = 1 }
        @{ Raw = 2; Min = 0; Max = 3; Expected = 2 }
        @{ Raw = 1; Min = 0; Max = 2; Expected = 1 }
    ) {
        ConvertFrom-HidRaw $Raw $Min $Max | Should -Be $Expected
    }

    It 'sends <Expected> for level <Wanted> in <Min>..<Max>' -TestCases @(
        @{ Wanted = 0; Min = 0; Max = 255; Expected = 0 }
        @{ Wanted = 1; Min = 0; Max = 255; Expected = 102 }
        @{ Wanted = 2; Min = 0; Max = 255; Expected = 255 }
        @{ Wanted = 0; Min = 0; Max = 1; Expected = 0 }
        @{ Wanted = 1; Min = 0; Max = 1; Expected = 1 }
        @{ Wanted = 1; Min = 0; Max = 2; Expected = 1 }
        @{ Wanted = 0; Min = 10; Max = 100; Expected = 10 }
        @{ Wanted = 1; Min = 10; Max = 100; Expected = 46 }
        @{ Wanted = 0; Min = -10; Max = 1; Expected = 0 }
        @{ Wanted = 1; Min = -10; Max = 1; Expected = -5 }
        @{ Wanted = 0; Min = -10; Max = -2; Expected = -10 }
        @{ Wanted = 1; Min = -10; Max = -2; Expected = -6 }
        @{ Wanted = 2; Min = -10; Max = -2; Expected = -2 }
    ) {
        ConvertTo-HidRaw $Wanted $Min $Max | Should -Be $Expected
    }
}

Describe 'HID, back-end' {
    BeforeEach {
        Initialize-Result
        $script:written = New-Object 'System.Collections.Generic.List[long]'
        Mock Write-HidRaw { param($Device, $Raw) $script:written.Add($Raw) }
    }

    It 'reads a level from the feature report' {
        Mock Find-HidDevice { New-HidDevice 0 255 }
        Mock Read-HidState { New-HidState $true 170 0 255 }
        Invoke-HidBackend 'read' 0 | Should -BeTrue
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":true,"level":2,"max_level":2,"source":"hid","applied":false,"verified":false,"reason":""}'
    }

    It 'takes the maximum from the logical range and the level from the feature range' {
        Mock Find-HidDevice { New-HidDevice 0 1 $true 0 255 }
        Mock Read-HidState { New-HidState $true 100 0 255 }
        Invoke-HidBackend 'read' 0 | Should -BeTrue
        $script:result.max_level | Should -Be 1
        $script:result.level | Should -Be 1
    }

    It 'says when the state cannot be read' {
        Mock Find-HidDevice { New-HidDevice 0 255 $false }
        Mock Read-HidState { New-HidState $false 0 0 0 }
        Invoke-HidBackend 'read' 0 | Should -BeTrue
        $script:result.available | Should -BeTrue
        $script:result.known | Should -BeFalse
        $script:result.reason | Should -BeExactly 'etat HID non lisible (rapport de confirmation absent)'
    }

    It 'goes on silently without a device' {
        Mock Find-HidDevice { $null }
        Invoke-HidBackend 'read' 0 | Should -BeFalse
        $script:errors.Count | Should -Be 0
    }

    It 'puts a failure while finding or reading in the diagnostics' {
        Mock Find-HidDevice { New-HidDevice 0 255 }
        Mock Read-HidState { throw [System.InvalidOperationException]::new('lecture impossible') }
        Invoke-HidBackend 'read' 0 | Should -BeFalse
        $script:result.available | Should -BeFalse
        @($script:errors) | Should -BeExactly @('HID : lecture impossible')
    }

    It 'writes level 1 as 102 on 0..255 and verifies the read-back' {
        Mock Find-HidDevice { New-HidDevice 0 255 }
        Mock Read-HidState { New-HidState $true 102 0 255 }
        Invoke-HidBackend 'write' 1 | Should -BeTrue
        @($script:written) | Should -BeExactly @(102)
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":true,"level":1,"max_level":2,"source":"hid","applied":true,"verified":true,"reason":""}'
    }

    It 'says when the read-back differs' {
        Mock Find-HidDevice { New-HidDevice 0 255 }
        Mock Read-HidState { New-HidState $true 255 0 255 }
        Invoke-HidBackend 'write' 1 | Should -BeTrue
        $script:result.level | Should -Be 2
        $script:result.verified | Should -BeFalse
        $script:result.reason | Should -BeExactly 'lecture de confirmation differente'
    }

    It 'says when the write cannot be confirmed' {
        Mock Find-HidDevice { New-HidDevice 0 1 $false }
        Mock Read-HidState { New-HidState $false 0 0 0 }
        Invoke-HidBackend 'write' 1 | Should -BeTrue
        @($script:written) | Should -BeExactly @(1)
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":false,"level":1,"max_level":1,"source":"hid","applied":true,"verified":false,"reason":"commande HID envoyee ; confirmation indisponible"}'
    }

    It 'refuses level 2 on a one-level device and writes nothing' {
        Mock Find-HidDevice { New-HidDevice 0 1 }
        Mock Read-HidState { New-HidState $true 1 0 1 }
        Invoke-HidBackend 'write' 2 | Should -BeTrue
        $script:written.Count | Should -Be 0
        $script:result.reason | Should -BeExactly 'niveau hors limites'
        $script:result.applied | Should -BeFalse
    }

    It 'loses the level when the write fails' {
        Mock Find-HidDevice { New-HidDevice 0 255 }
        Mock Read-HidState { New-HidState $true 0 0 255 }
        Mock Write-HidRaw { throw [System.InvalidOperationException]::new('aucun rapport HID accepte (erreur 31)') }
        Invoke-HidBackend 'write' 2 | Should -BeTrue
        $script:result.known | Should -BeFalse
        $script:result.applied | Should -BeFalse
        $script:result.reason | Should -BeExactly 'aucun rapport HID accepte (erreur 31)'
    }

    It 'reads nothing, with bounds 0 and 0, from a device without a usable feature report (<Case>)' -TestCases @(
        @{ Case = 'no device'; Feature = $null; Length = 0 }
        @{ Case = 'no feature capability'; Feature = $false; Length = 3 }
        @{ Case = 'feature length 0'; Feature = $true; Length = 0 }
    ) {
        $device = $null
        if ($null -ne $Feature) {
            $device = New-HidDevice 0 255 $Feature 5 200
            $device.FeatureLength = $Length
        }
        $state = [HidKbBacklight]::Read($device)
        $state.Known | Should -BeFalse
        $state.Min | Should -Be 0
        $state.Max | Should -Be 0
    }

    It 'unwraps the message of a write failing inside the compiled type' {
        Mock Find-HidDevice { New-HidDevice 0 255 }
        Mock Write-HidRaw { param($Device, $Raw) [HidKbBacklight]::Write($null, $Raw) }
        Invoke-HidBackend 'write' 2 | Should -BeTrue
        $script:result.reason | Should -BeExactly 'peripherique HID absent'
    }
}

Describe 'Lenovo WMI, level mapping' {
    It 'reads WMI value <Value> as <Expected>' -TestCases @(
        @{ Value = 1; Expected = 0 }
        @{ Value = 2; Expected = 1 }
        @{ Value = 3; Expected = 2 }
        @{ Value = [byte]3; Expected = 2 }
        @{ Value = [uint32]2; Expected = 1 }
    ) {
        ConvertFrom-WmiBrightness $Value | Should -Be $Expected
    }

    It 'finds no level in WMI value "<Value>"' -TestCases @(
        @{ Value = 0 }
        @{ Value = 4 }
        @{ Value = -1 }
        @{ Value = $null }
        @{ Value = 'haut' }
        @{ Value = 2.5 }
    ) {
        ConvertFrom-WmiBrightness $Value | Should -BeNullOrEmpty
    }

    It 'writes level <Wanted> as <Expected>' -TestCases @(
        @{ Wanted = 0; Expected = 1 }
        @{ Wanted = 1; Expected = 2 }
        @{ Wanted = 2; Expected = 3 }
    ) {
        ConvertTo-WmiBrightness $Wanted | Should -Be $Expected
    }

    It 'has no WMI value for level <Wanted>' -TestCases @(@{ Wanted = -1 }, @{ Wanted = 3 }) {
        ConvertTo-WmiBrightness $Wanted | Should -BeNullOrEmpty
    }
}

Describe 'Lenovo WMI, back-end' {
    BeforeEach {
        Initialize-Result
        $script:Wmi = @{ Level = 2; After = $null; Calls = New-Object 'System.Collections.Generic.List[object]' }
        Mock Get-LenovoLightingClass { [pscustomobject]@{ CimClassName = 'LENOVO_LIGHTING_METHOD' } }
        Mock Get-LenovoLightingInstance { [pscustomobject]@{ InstanceName = 'ACPI\PNP0C14\0_0' } }
        Mock Invoke-LenovoLightingMethod {
            param($Instance, $Name, $MethodArguments)
            $script:Wmi.Calls.Add([pscustomobject]@{ Name = $Name; Arguments = $MethodArguments })
            if ($Name -eq 'Set_Lighting_Current_Status') {
                $script:Wmi.Level = $script:Wmi.After
                return [pscustomobject]@{ ReturnValue = 0 }
            }
            return [pscustomobject]@{ Current_Brightness_Level = $script:Wmi.Level }
        }
    }

    It 'reads value 3 as level 2 with Lighting_ID 0' {
        $script:Wmi.Level = 3
        Invoke-LenovoWmiBackend 'read' 0 | Should -BeTrue
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":true,"level":2,"max_level":2,"source":"lenovo-wmi","applied":false,"verified":false,"reason":""}'
        $script:Wmi.Calls.Count | Should -Be 1
        $script:Wmi.Calls[0].Name | Should -BeExactly 'Get_Lighting_Current_Status'
        ($script:Wmi.Calls[0].Arguments.Keys -join ',') | Should -BeExactly 'Lighting_ID'
        $script:Wmi.Calls[0].Arguments.Lighting_ID | Should -Be 0
    }

    It 'keeps the interface but not the level for value <Value>' -TestCases @(@{ Value = 0 }, @{ Value = 4 }, @{ Value = $null }) {
        $script:Wmi.Level = $Value
        Invoke-LenovoWmiBackend 'read' 0 | Should -BeTrue
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":false,"level":0,"max_level":2,"source":"lenovo-wmi","applied":false,"verified":false,"reason":"niveau WMI hors plage"}'
    }

    It 'says when the class has no instance' {
        Mock Get-LenovoLightingInstance { $null }
        Invoke-LenovoWmiBackend 'read' 0 | Should -BeTrue
        $script:result.available | Should -BeTrue
        $script:result.source | Should -BeExactly 'lenovo-wmi'
        $script:result.reason | Should -BeExactly 'instance WMI absente'
    }

    It 'goes on silently without the class' {
        Mock Get-LenovoLightingClass { $null }
        Invoke-LenovoWmiBackend 'read' 0 | Should -BeFalse
        $script:errors.Count | Should -Be 0
        $script:result.available | Should -BeFalse
    }

    It 'puts a failing class lookup in the diagnostics' {
        Mock Get-LenovoLightingClass { throw 'Acces refuse' }
        Invoke-LenovoWmiBackend 'read' 0 | Should -BeFalse
        @($script:errors) | Should -BeExactly @('Lenovo WMI : Acces refuse')
    }

    It 'writes level <Wanted> as <Value> and verifies the read-back' -TestCases @(
        @{ Wanted = 0; Value = 1 }
        @{ Wanted = 1; Value = 2 }
        @{ Wanted = 2; Value = 3 }
    ) {
        $script:Wmi.After = $Value
        Invoke-LenovoWmiBackend 'write' $Wanted | Should -BeTrue
        ($script:Wmi.Calls.Name -join ',') | Should -BeExactly 'Set_Lighting_Current_Status,Get_Lighting_Current_Status'
        $set = $script:Wmi.Calls[0].Arguments
        (@($set.Keys) | Sort-Object) -join ',' | Should -BeExactly 'Current_Brightness_Level,Current_State_Type,Lighting_ID'
        $set.Current_Brightness_Level | Should -Be $Value
        $set.Current_State_Type | Should -Be 0
        $set.Lighting_ID | Should -Be 0
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly ('{"available":true,"known":true,"level":' + $Wanted + ',"max_level":2,"source":"lenovo-wmi","applied":true,"verified":true,"reason":""}')
    }

    It 'reports a different read-back as not verified' {
        $script:Wmi.After = 3
        Invoke-LenovoWmiBackend 'write' 1 | Should -BeTrue
        $script:result.level | Should -Be 2
        $script:result.verified | Should -BeFalse
        $script:result.reason | Should -BeExactly ''
    }

    It 'says when the write cannot be confirmed' {
        $script:Wmi.After = 7
        Invoke-LenovoWmiBackend 'write' 2 | Should -BeTrue
        ConvertTo-Json -InputObject $script:result -Compress |
            Should -BeExactly '{"available":true,"known":false,"level":2,"max_level":2,"source":"lenovo-wmi","applied":true,"verified":false,"reason":"commande WMI envoyee ; confirmation indisponible"}'
    }

    It 'refuses level 3 and calls nothing' {
        Invoke-LenovoWmiBackend 'write' 3 | Should -BeTrue
        $script:Wmi.Calls.Count | Should -Be 0
        $script:result.reason | Should -BeExactly 'niveau hors limites'
        $script:result.applied | Should -BeFalse
    }

    It 'records a failing method call and still answers' {
        Mock Invoke-LenovoLightingMethod { throw 'Generic failure' }
        Invoke-LenovoWmiBackend 'write' 1 | Should -BeTrue
        $script:result.available | Should -BeTrue
        $script:result.applied | Should -BeFalse
        $script:result.reason | Should -BeExactly 'Generic failure'
    }
}

Describe 'Lenovo WMI, CIM calls' {
    BeforeAll {
        Add-Type -TypeDefinition @'
public class FakeCimException : System.Exception
{
    public FakeCimException(string message, string code) : base(message) { NativeErrorCode = code; }
    public string NativeErrorCode;
}
'@
        # The CIM cmdlets exist only on Windows; these stand-ins take their
        # place so that the calls the script makes can be checked.
        function Get-CimClass { param($Namespace, $ClassName, $ErrorAction) }
        function Get-CimInstance { param($Namespace, $ClassName, $ErrorAction) }
        function Invoke-CimMethod { param($InputObject, $MethodName, $Arguments, $ErrorAction) }
    }

    It 'looks the class up in root/WMI' {
        Mock Get-CimClass { 'classe' }
        Get-LenovoLightingClass | Should -BeExactly 'classe'
        Should -Invoke Get-CimClass -Times 1 -Exactly -ParameterFilter { $Namespace -eq 'root/WMI' -and $ClassName -eq 'LENOVO_LIGHTING_METHOD' }
    }

    It 'takes a missing class (<Code>) as absent, without error' -TestCases @(@{ Code = 'NotFound' }, @{ Code = 'InvalidClass' }) {
        Mock Get-CimClass { throw [FakeCimException]::new('Not found', $Code) }
        Get-LenovoLightingClass | Should -BeNullOrEmpty
    }

    It 'passes any other lookup failure on' {
        Mock Get-CimClass { throw [FakeCimException]::new('Access denied', 'AccessDenied') }
        { Get-LenovoLightingClass } | Should -Throw 'Access denied'
    }

    It 'takes the first instance' {
        Mock Get-CimInstance { 'premiere'; 'seconde' }
        Get-LenovoLightingInstance | Should -BeExactly 'premiere'
    }

    It 'calls the method on the instance with the named arguments' {
        Mock Invoke-CimMethod { [pscustomobject]@{ Current_Brightness_Level = 2 } }
        Get-LenovoBrightness 'instance' | Should -Be 2
        Should -Invoke Invoke-CimMethod -Times 1 -Exactly -ParameterFilter {
            $InputObject -eq 'instance' -and $MethodName -eq 'Get_Lighting_Current_Status' -and $Arguments.Lighting_ID -eq 0
        }
    }
}
