# Retroeclairage du clavier : lit ou regle le niveau (0 eteint, 1 bas, 2 haut).
# Les interfaces sont essayees dans cet ordre : outils Framework, pilote
# ThinkPad PM, peripherique HID standard, classe WMI Lenovo. La premiere
# trouvee repond. Le script ecrit un seul objet JSON sur la sortie standard
# et se termine avec le code 0 ; toute autre issue est un echec.
#
# Il doit tourner sous Windows PowerShell 5.1 et le C# en ligne est compile
# par son Add-Type, donc en C# 5.

param(
    [ValidateSet('read', 'write')]
    [string]$Mode = 'read',
    [int]$Level = 0,
    [string]$FrameworkDir = ''
)

$ErrorActionPreference = 'Stop'
# Un avertissement sur la sortie standard rendrait la reponse illisible.
$WarningPreference = 'SilentlyContinue'
try {
    # Sans BOM : le lecteur de la reponse n'accepte que l'objet JSON.
    [Console]::OutputEncoding = New-Object System.Text.UTF8Encoding $false
} catch {
    # Sans console l'encodage ne peut pas changer ; la sortie reste de l'ASCII.
}

# ---------------------------------------------------------------------------
# Resultat et erreurs

function Initialize-Result {
    $script:result = [ordered]@{
        available = $false
        known     = $false
        level     = 0
        max_level = 2
        source    = ''
        applied   = $false
        verified  = $false
        reason    = ''
    }
    # Diagnostics des interfaces absentes : ne servent que si aucune ne repond.
    $script:errors = New-Object 'System.Collections.Generic.List[string]'
}

# La premiere erreur enregistree est la seule qui compte.
function Add-Error([string]$Text) {
    if ([string]::IsNullOrWhiteSpace([string]$script:result.reason)) {
        $script:result.reason = $Text
    }
}

function Add-Diagnostic([string]$Text) {
    $script:errors.Add($Text)
}

# Un appel .NET qui echoue arrive enveloppe dans "Exception calling ..." :
# seul le message d'origine est utile.
function Get-ErrorText($ErrorRecord) {
    $exception = $ErrorRecord.Exception
    if ($exception -is [System.Management.Automation.MethodInvocationException] -and
        $null -ne $exception.InnerException) {
        $exception = $exception.InnerException
    }
    return [string]$exception.Message
}

function Limit-Range([long]$Value, [long]$Low, [long]$High) {
    if ($Value -lt $Low) { return [int]$Low }
    if ($Value -gt $High) { return [int]$High }
    return [int]$Value
}

function Set-Found([string]$Source) {
    $script:result.available = $true
    $script:result.source = $Source
}

function Exit-Script([int]$Code) {
    exit $Code
}

function Emit-Result {
    # Types forces : sous 5.1 une valeur sortie d'une fonction peut arriver
    # enveloppee, et le lecteur exige des booleens, des entiers et du texte.
    $output = [ordered]@{
        available = [bool]$script:result.available
        known     = [bool]$script:result.known
        level     = [int]$script:result.level
        max_level = [int]$script:result.max_level
        source    = [string]$script:result.source
        applied   = [bool]$script:result.applied
        verified  = [bool]$script:result.verified
        reason    = [string]$script:result.reason
    }
    Write-Output (ConvertTo-Json -InputObject $output -Compress -Depth 4)
    Exit-Script 0
}

# ---------------------------------------------------------------------------
# Outils Framework (framework_tool.exe sur le 13, qmk_hid.exe sur le 16),
# qui parlent en pourcentage.

$FrameworkTools = @(
    @{ Name = 'framework_tool.exe'; Arguments = @('--kblight') },
    @{ Name = 'qmk_hid.exe'; Arguments = @('via', '--backlight') }
)

function Invoke-FrameworkTool([string]$Dir, [string]$Name, [string[]]$ToolArguments) {
    $path = [System.IO.Path]::Combine($Dir, $Name)
    if (-not [System.IO.File]::Exists($path)) {
        return $null
    }
    # Sous 'Stop', Windows PowerShell 5.1 ferait de chaque ligne d'erreur
    # d'un programme natif une erreur fatale ; on veut juste son texte.
    $ErrorActionPreference = 'Continue'
    $lines = & $path @ToolArguments 2>&1
    return (@($lines) | ForEach-Object { [string]$_ }) -join "`n"
}

function Get-FrameworkPercent([string]$Text) {
    if ([string]::IsNullOrEmpty($Text)) {
        return $null
    }
    $match = [regex]::Match($Text, '(\d{1,3})\s*%')
    if (-not $match.Success) {
        return $null
    }
    return [int]$match.Groups[1].Value
}

function ConvertFrom-FrameworkPercent([int]$Percent) {
    if ($Percent -ge 75) { return 2 }
    if ($Percent -ge 25) { return 1 }
    return 0
}

function ConvertTo-FrameworkPercent([int]$Wanted) {
    return @(0, 50, 100)[$Wanted]
}

function Invoke-FrameworkBackend([string]$Mode, [int]$Level, [string]$Dir) {
    if ([string]::IsNullOrEmpty($Dir)) {
        return $false
    }
    try {
        $tool = $null
        $percent = $null
        foreach ($candidate in $FrameworkTools) {
            $percent = Get-FrameworkPercent (Invoke-FrameworkTool $Dir $candidate.Name $candidate.Arguments)
            if ($null -ne $percent) {
                $tool = $candidate
                break
            }
        }
        if ($null -eq $tool) {
            return $false
        }

        Set-Found 'framework'
        $script:result.max_level = 2
        $script:result.known = $true
        $script:result.level = ConvertFrom-FrameworkPercent $percent

        if ($Mode -eq 'write') {
            if ($Level -lt 0 -or $Level -gt 2) {
                Add-Error 'niveau hors limites'
            } else {
                $setArguments = $tool.Arguments + [string](ConvertTo-FrameworkPercent $Level)
                $null = Invoke-FrameworkTool $Dir $tool.Name $setArguments
                $script:result.applied = $true
                $after = Get-FrameworkPercent (Invoke-FrameworkTool $Dir $tool.Name $tool.Arguments)
                if ($null -ne $after) {
                    $script:result.level = ConvertFrom-FrameworkPercent $after
                    $script:result.verified = ($script:result.level -eq $Level)
                } else {
                    $script:result.level = $Level
                    Add-Error 'commande Framework envoyee ; confirmation indisponible'
                }
            }
        }
        return $true
    } catch {
        # Les erreurs Framework vont droit dans la raison, meme si une
        # interface suivante repond.
        Add-Error ('Framework : ' + (Get-ErrorText $_))
        return $false
    }
}

# ---------------------------------------------------------------------------
# Pilote de gestion d'energie ThinkPad (\\.\IBMPmDrv), accessible sans
# elevation.

$TpKbBacklightSource = @'
using System;
using System.Runtime.InteropServices;

public static class TpKbBacklight
{
    private const uint GenericRead = 0x80000000;
    private const uint ShareRead = 1;
    private const uint OpenExisting = 3;

    [DllImport("kernel32.dll", SetLastError = true, CharSet = CharSet.Unicode)]
    private static extern IntPtr CreateFileW(string name, uint access, uint share, IntPtr security,
                                             uint disposition, uint flags, IntPtr template);

    [DllImport("kernel32.dll", SetLastError = true)]
    private static extern bool DeviceIoControl(IntPtr device, uint code, byte[] input, uint inputSize,
                                               [Out] byte[] output, uint outputSize, out uint returned,
                                               IntPtr overlapped);

    [DllImport("kernel32.dll", SetLastError = true)]
    private static extern bool CloseHandle(IntPtr handle);

    // Un entier de 32 bits en petit-boutiste dans chaque sens.
    public static int Call(int code, int input)
    {
        IntPtr device = CreateFileW("\\\\.\\IBMPmDrv", GenericRead, ShareRead, IntPtr.Zero, OpenExisting, 0, IntPtr.Zero);
        if (device == IntPtr.Zero || device == new IntPtr(-1))
        {
            throw new InvalidOperationException("IBMPmDrv absent (erreur " + Marshal.GetLastWin32Error() + ")");
        }
        try
        {
            byte[] inBuffer = new byte[4];
            inBuffer[0] = (byte)input;
            inBuffer[1] = (byte)(input >> 8);
            inBuffer[2] = (byte)(input >> 16);
            inBuffer[3] = (byte)(input >> 24);
            byte[] outBuffer = new byte[4];
            uint returned;
            if (!DeviceIoControl(device, unchecked((uint)code), inBuffer, 4, outBuffer, 4, out returned, IntPtr.Zero))
            {
                throw new InvalidOperationException("DeviceIoControl " + code + " (erreur " + Marshal.GetLastWin32Error() + ")");
            }
            return outBuffer[0] | (outBuffer[1] << 8) | (outBuffer[2] << 16) | (outBuffer[3] << 24);
        }
        finally
        {
            CloseHandle(device);
        }
    }
}
'@

$TpGetCode = 0x222680
$TpSetCode = 0x222684

function Initialize-TpType {
    if ($null -eq ('TpKbBacklight' -as [type])) {
        Add-Type -TypeDefinition $TpKbBacklightSource
    }
}

function Invoke-TpCall([int]$Code, [int]$Value) {
    Initialize-TpType
    return [int][TpKbBacklight]::Call($Code, $Value)
}

# Etat du pilote : niveau en bits 3..0, maximum en bits 11..8, pret quand les
# bits 19..16 valent 5 ; le bit 21 doit etre repris a l'ecriture.
function Get-TpLevel([int]$State) {
    return $State -band 0xF
}

function Get-TpMaxLevel([int]$State) {
    return ($State -shr 8) -band 0xF
}

function Test-TpReady([int]$State) {
    return ($State -band 0xF0000) -eq 0x50000
}

function Get-TpWriteValue([int]$State, [int]$Wanted) {
    $value = ($State -band 0xF0) -bor $Wanted
    if (($State -band 0x200000) -ne 0) {
        $value = $value -bor 0x100
    }
    return $value
}

function Set-TpLevel([int]$Wanted) {
    $state = Invoke-TpCall $TpGetCode 0
    if (-not (Test-TpReady $state)) {
        throw ('retroeclairage non pret (0x{0:X})' -f $state)
    }
    $null = Invoke-TpCall $TpSetCode (Get-TpWriteValue $state $Wanted)
}

function Invoke-ThinkPadBackend([string]$Mode, [int]$Level) {
    try {
        $state = Invoke-TpCall $TpGetCode 0
    } catch {
        $text = Get-ErrorText $_
        # Pas de pilote : ce n'est pas un ThinkPad, rien a signaler.
        if (-not $text.Contains('IBMPmDrv absent')) {
            Add-Diagnostic ('ThinkPad PM : ' + $text)
        }
        return $false
    }
    if (-not (Test-TpReady $state)) {
        Add-Diagnostic 'ThinkPad PM : retroeclairage non pret'
        return $false
    }

    $max = Limit-Range (Get-TpMaxLevel $state) 1 2
    Set-Found 'thinkpad-pm'
    $script:result.max_level = $max
    $script:result.level = Limit-Range (Get-TpLevel $state) 0 $max
    $script:result.known = $true

    if ($Mode -eq 'write') {
        if ($Level -lt 0 -or $Level -gt $max) {
            Add-Error 'niveau hors limites'
        } else {
            try {
                Set-TpLevel $Level
                $script:result.applied = $true
                $after = Invoke-TpCall $TpGetCode 0
                $script:result.level = Limit-Range (Get-TpLevel $after) 0 $max
                $script:result.verified = ($script:result.level -eq $Level)
                if (-not $script:result.verified) {
                    Add-Error 'lecture de confirmation differente'
                }
            } catch {
                $script:result.known = $false
                Add-Error (Get-ErrorText $_)
            }
        }
    }
    return $true
}

# ---------------------------------------------------------------------------
# Peripherique HID standard : page Consumer (0x0C), collection Keyboard
# Backlight (0x07), valeur Set Level (0x7B).

$HidKbBacklightSource = @'
using System;
using System.Runtime.InteropServices;

public static class HidKbBacklight
{
    public class Device
    {
        public string Path;
        public int OutputLength;
        public int FeatureLength;
        public bool HasOutput;
        public bool HasFeature;
        public byte OutputReportId;
        public int LogicalMin;
        public int LogicalMax;
        public byte FeatureReportId;
        public int FeatureMin;
        public int FeatureMax;
    }

    public class State
    {
        public bool Known;
        public long Raw;
        public int Min;
        public int Max;
    }

    [StructLayout(LayoutKind.Sequential)]
    public struct InterfaceData
    {
        public int Size;
        public Guid ClassGuid;
        public int Flags;
        public IntPtr Reserved;
    }

    private const uint StatusSuccess = 0x00110000;
    private const ushort PageConsumer = 0x0C;
    private const ushort UsageKeyboardBacklight = 0x07;
    private const ushort UsageSetLevel = 0x7B;
    private const int ReportOutput = 1;
    private const int ReportFeature = 2;
    private const int CapsSize = 64;
    private const int ValueCapsSize = 72;
    private const uint GenericReadWrite = 0xC0000000;
    private const uint ShareReadWrite = 3;
    private const uint OpenExisting = 3;
    private const uint AttributeNormal = 0x80;
    private const uint ListPresent = 0x02;
    private const uint ListInterfaces = 0x10;

    [DllImport("hid.dll")]
    private static extern void HidD_GetHidGuid(out Guid guid);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool HidD_GetPreparsedData(IntPtr device, out IntPtr preparsed);

    [DllImport("hid.dll")]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool HidD_FreePreparsedData(IntPtr preparsed);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool HidD_GetFeature(IntPtr device, [In, Out] byte[] report, int length);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool HidD_SetFeature(IntPtr device, byte[] report, int length);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool HidD_SetOutputReport(IntPtr device, byte[] report, int length);

    [DllImport("hid.dll")]
    private static extern uint HidP_GetCaps(IntPtr preparsed, [Out] byte[] caps);

    [DllImport("hid.dll")]
    private static extern uint HidP_GetValueCaps(int reportType, [Out] byte[] caps, ref ushort length, IntPtr preparsed);

    [DllImport("hid.dll")]
    private static extern uint HidP_GetUsageValue(int reportType, ushort page, ushort linkCollection, ushort usage,
                                                  out uint value, IntPtr preparsed, byte[] report, uint length);

    [DllImport("hid.dll")]
    private static extern uint HidP_SetUsageValue(int reportType, ushort page, ushort linkCollection, ushort usage,
                                                  uint value, IntPtr preparsed, [In, Out] byte[] report, uint length);

    [DllImport("setupapi.dll", SetLastError = true, CharSet = CharSet.Unicode)]
    private static extern IntPtr SetupDiGetClassDevsW(ref Guid classGuid, IntPtr enumerator, IntPtr parent, uint flags);

    [DllImport("setupapi.dll", SetLastError = true)]
    private static extern bool SetupDiEnumDeviceInterfaces(IntPtr list, IntPtr deviceInfo, ref Guid classGuid,
                                                           uint index, ref InterfaceData data);

    [DllImport("setupapi.dll", SetLastError = true, CharSet = CharSet.Unicode)]
    private static extern bool SetupDiGetDeviceInterfaceDetailW(IntPtr list, ref InterfaceData data, IntPtr detail,
                                                                int detailSize, out int requiredSize, IntPtr deviceInfo);

    [DllImport("setupapi.dll", SetLastError = true)]
    private static extern bool SetupDiDestroyDeviceInfoList(IntPtr list);

    [DllImport("kernel32.dll", SetLastError = true, CharSet = CharSet.Unicode)]
    private static extern IntPtr CreateFileW(string name, uint access, uint share, IntPtr security,
                                             uint disposition, uint flags, IntPtr template);

    [DllImport("kernel32.dll", SetLastError = true)]
    private static extern bool WriteFile(IntPtr file, byte[] buffer, int length, out int written, IntPtr overlapped);

    [DllImport("kernel32.dll", SetLastError = true)]
    private static extern bool CloseHandle(IntPtr handle);

    private static bool IsInvalid(IntPtr handle)
    {
        return handle == IntPtr.Zero || handle == new IntPtr(-1);
    }

    private static int U16(byte[] data, int offset)
    {
        return data[offset] | (data[offset + 1] << 8);
    }

    private static int I32(byte[] data, int offset)
    {
        return data[offset] | (data[offset + 1] << 8) | (data[offset + 2] << 16) | (data[offset + 3] << 24);
    }

    private static IntPtr Open(string path)
    {
        return CreateFileW(path, GenericReadWrite, ShareReadWrite, IntPtr.Zero, OpenExisting, AttributeNormal, IntPtr.Zero);
    }

    private static IntPtr Preparsed(IntPtr device)
    {
        IntPtr preparsed;
        if (!HidD_GetPreparsedData(device, out preparsed))
        {
            return IntPtr.Zero;
        }
        return preparsed;
    }

    // Premier descripteur de valeur (72 octets) de la page Consumer qui
    // couvre Set Level, ou null.
    private static byte[] FindSetLevel(IntPtr preparsed, int reportType, int count)
    {
        if (count <= 0)
        {
            return null;
        }
        byte[] all = new byte[count * ValueCapsSize];
        ushort length = (ushort)count;
        if (HidP_GetValueCaps(reportType, all, ref length, preparsed) != StatusSuccess)
        {
            return null;
        }
        for (int i = 0; i < length && i < count; i++)
        {
            int at = i * ValueCapsSize;
            if (U16(all, at) != PageConsumer)
            {
                continue;
            }
            bool isRange = all[at + 12] != 0;
            int usageMin = U16(all, at + 56);
            int usageMax = U16(all, at + 58);
            bool covers = isRange ? (usageMin <= UsageSetLevel && UsageSetLevel <= usageMax) : usageMin == UsageSetLevel;
            if (covers)
            {
                byte[] cap = new byte[ValueCapsSize];
                Array.Copy(all, at, cap, 0, ValueCapsSize);
                return cap;
            }
        }
        return null;
    }

    private static Device Probe(string path)
    {
        IntPtr handle = Open(path);
        if (IsInvalid(handle))
        {
            return null;
        }
        IntPtr preparsed = IntPtr.Zero;
        try
        {
            preparsed = Preparsed(handle);
            if (preparsed == IntPtr.Zero)
            {
                return null;
            }
            byte[] caps = new byte[CapsSize];
            if (HidP_GetCaps(preparsed, caps) != StatusSuccess)
            {
                return null;
            }
            if (U16(caps, 2) != PageConsumer || U16(caps, 0) != UsageKeyboardBacklight)
            {
                return null;
            }
            byte[] output = FindSetLevel(preparsed, ReportOutput, U16(caps, 54));
            byte[] feature = FindSetLevel(preparsed, ReportFeature, U16(caps, 60));
            if (output == null && feature == null)
            {
                return null;
            }
            Device device = new Device();
            device.Path = path;
            device.OutputLength = U16(caps, 6);
            device.FeatureLength = U16(caps, 8);
            device.HasOutput = output != null;
            device.HasFeature = feature != null;
            if (feature != null)
            {
                device.FeatureReportId = feature[2];
                device.FeatureMin = I32(feature, 40);
                device.FeatureMax = I32(feature, 44);
            }
            if (output != null)
            {
                device.OutputReportId = output[2];
                device.LogicalMin = I32(output, 40);
                device.LogicalMax = I32(output, 44);
            }
            else
            {
                device.LogicalMin = device.FeatureMin;
                device.LogicalMax = device.FeatureMax;
            }
            return device;
        }
        finally
        {
            if (preparsed != IntPtr.Zero)
            {
                HidD_FreePreparsedData(preparsed);
            }
            CloseHandle(handle);
        }
    }

    private static string InterfacePath(IntPtr list, ref InterfaceData data)
    {
        int required;
        SetupDiGetDeviceInterfaceDetailW(list, ref data, IntPtr.Zero, 0, out required, IntPtr.Zero);
        if (required <= 0)
        {
            return null;
        }
        IntPtr detail = Marshal.AllocHGlobal(required);
        try
        {
            // Taille de l'en-tete de SP_DEVICE_INTERFACE_DETAIL_DATA_W, pas du bloc.
            Marshal.WriteInt32(detail, IntPtr.Size == 8 ? 8 : 6);
            if (!SetupDiGetDeviceInterfaceDetailW(list, ref data, detail, required, out required, IntPtr.Zero))
            {
                return null;
            }
            return Marshal.PtrToStringUni(IntPtr.Add(detail, 4));
        }
        finally
        {
            Marshal.FreeHGlobal(detail);
        }
    }

    public static Device Find()
    {
        Guid hidGuid;
        HidD_GetHidGuid(out hidGuid);
        IntPtr list = SetupDiGetClassDevsW(ref hidGuid, IntPtr.Zero, IntPtr.Zero, ListPresent | ListInterfaces);
        if (IsInvalid(list))
        {
            return null;
        }
        try
        {
            for (uint index = 0; ; index++)
            {
                InterfaceData data = new InterfaceData();
                data.Size = Marshal.SizeOf(typeof(InterfaceData));
                if (!SetupDiEnumDeviceInterfaces(list, IntPtr.Zero, ref hidGuid, index, ref data))
                {
                    return null;
                }
                string path = InterfacePath(list, ref data);
                if (path == null)
                {
                    continue;
                }
                Device device = Probe(path);
                if (device != null)
                {
                    return device;
                }
            }
        }
        finally
        {
            SetupDiDestroyDeviceInfoList(list);
        }
    }

    public static State Read(Device device)
    {
        State state = new State();
        if (device == null || !device.HasFeature || device.FeatureLength <= 0)
        {
            return state;
        }
        state.Min = device.FeatureMin;
        state.Max = device.FeatureMax;
        IntPtr handle = Open(device.Path);
        if (IsInvalid(handle))
        {
            return state;
        }
        IntPtr preparsed = IntPtr.Zero;
        try
        {
            preparsed = Preparsed(handle);
            if (preparsed == IntPtr.Zero)
            {
                return state;
            }
            byte[] report = new byte[device.FeatureLength];
            if (device.FeatureReportId != 0)
            {
                report[0] = device.FeatureReportId;
            }
            if (!HidD_GetFeature(handle, report, report.Length))
            {
                return state;
            }
            uint value;
            if (HidP_GetUsageValue(ReportFeature, PageConsumer, 0, UsageSetLevel, out value, preparsed,
                                   report, (uint)report.Length) != StatusSuccess)
            {
                return state;
            }
            state.Known = true;
            state.Raw = value;
            return state;
        }
        finally
        {
            if (preparsed != IntPtr.Zero)
            {
                HidD_FreePreparsedData(preparsed);
            }
            CloseHandle(handle);
        }
    }

    private static byte[] BuildReport(int reportType, int length, byte reportId, long raw, IntPtr preparsed)
    {
        byte[] report = new byte[length];
        if (reportId != 0)
        {
            report[0] = reportId;
        }
        uint status = HidP_SetUsageValue(reportType, PageConsumer, 0, UsageSetLevel, unchecked((uint)raw),
                                         preparsed, report, (uint)length);
        if (status != StatusSuccess)
        {
            throw new InvalidOperationException("rapport Set Level refuse (0x" + status.ToString("X") + ")");
        }
        return report;
    }

    public static void Write(Device device, long raw)
    {
        if (device == null)
        {
            throw new InvalidOperationException("peripherique HID absent");
        }
        IntPtr handle = Open(device.Path);
        if (IsInvalid(handle))
        {
            throw new InvalidOperationException("ouverture HID impossible (erreur " + Marshal.GetLastWin32Error() + ")");
        }
        IntPtr preparsed = IntPtr.Zero;
        try
        {
            preparsed = Preparsed(handle);
            if (preparsed == IntPtr.Zero)
            {
                throw new InvalidOperationException("descripteur HID illisible");
            }
            bool sent = false;
            int lastError = 0;
            if (device.HasOutput && device.OutputLength > 0)
            {
                byte[] report = BuildReport(ReportOutput, device.OutputLength, device.OutputReportId, raw, preparsed);
                int written;
                sent = WriteFile(handle, report, report.Length, out written, IntPtr.Zero);
                if (!sent)
                {
                    lastError = Marshal.GetLastWin32Error();
                    sent = HidD_SetOutputReport(handle, report, report.Length);
                    if (!sent)
                    {
                        lastError = Marshal.GetLastWin32Error();
                    }
                }
            }
            if (!sent && device.HasFeature && device.FeatureLength > 0)
            {
                byte[] report = BuildReport(ReportFeature, device.FeatureLength, device.FeatureReportId, raw, preparsed);
                sent = HidD_SetFeature(handle, report, report.Length);
                if (!sent)
                {
                    lastError = Marshal.GetLastWin32Error();
                }
            }
            if (!sent)
            {
                throw new InvalidOperationException("aucun rapport HID accepte (erreur " + lastError + ")");
            }
        }
        finally
        {
            if (preparsed != IntPtr.Zero)
            {
                HidD_FreePreparsedData(preparsed);
            }
            CloseHandle(handle);
        }
    }
}
'@

function Initialize-HidType {
    if ($null -eq ('HidKbBacklight' -as [type])) {
        Add-Type -TypeDefinition $HidKbBacklightSource
    }
}

function Find-HidDevice {
    Initialize-HidType
    return [HidKbBacklight]::Find()
}

function Read-HidState($Device) {
    Initialize-HidType
    return [HidKbBacklight]::Read($Device)
}

function Write-HidRaw($Device, [long]$Raw) {
    Initialize-HidType
    [HidKbBacklight]::Write($Device, $Raw)
}

# Echelle du peripherique : deux niveaux allumes seulement s'il y a de la
# place entre le minimum et le maximum logiques.
function Get-HidMaxLevel([long]$Min, [long]$Max) {
    if ($Max -gt $Min + 1) { return 2 }
    return 1
}

function ConvertFrom-HidRaw([long]$Raw, [long]$Min, [long]$Max) {
    if ($Raw -le 0) { return 0 }
    if ($Raw -le $Min -and $Min -le 0) { return 0 }
    if ((Get-HidMaxLevel $Min $Max) -eq 1) { return 1 }
    if ([double]$Raw -ge [double]$Min + [double]($Max - $Min) * 2.0 / 3.0) { return 2 }
    return 1
}

function ConvertTo-HidRaw([int]$Wanted, [long]$Min, [long]$Max) {
    if ($Wanted -le 0) {
        if ($Min -le 0 -and 0 -le $Max) { return [long]0 }
        return $Min
    }
    if ((Get-HidMaxLevel $Min $Max) -eq 1) { return $Max }
    if ($Wanted -eq 1) {
        $low = [long][Math]::Truncate([double]$Min + [double]($Max - $Min) * 0.4)
        return [Math]::Max($Min + 1, $low)
    }
    return $Max
}

function Invoke-HidBackend([string]$Mode, [int]$Level) {
    try {
        $device = Find-HidDevice
        if ($null -eq $device) {
            return $false
        }
        $state = $null
        if ($Mode -ne 'write') {
            $state = Read-HidState $device
        }
    } catch {
        Add-Diagnostic ('HID : ' + (Get-ErrorText $_))
        return $false
    }

    Set-Found 'hid'
    $max = Get-HidMaxLevel $device.LogicalMin $device.LogicalMax
    $script:result.max_level = $max

    if ($Mode -ne 'write') {
        if ($state.Known) {
            $script:result.known = $true
            $script:result.level = ConvertFrom-HidRaw $state.Raw $state.Min $state.Max
        } else {
            Add-Error 'etat HID non lisible (rapport de confirmation absent)'
        }
        return $true
    }

    if ($Level -lt 0 -or $Level -gt $max) {
        Add-Error 'niveau hors limites'
        return $true
    }
    try {
        Write-HidRaw $device (ConvertTo-HidRaw $Level $device.LogicalMin $device.LogicalMax)
        $script:result.applied = $true
        $after = Read-HidState $device
        if ($after.Known) {
            $script:result.known = $true
            $script:result.level = ConvertFrom-HidRaw $after.Raw $after.Min $after.Max
            $script:result.verified = ($script:result.level -eq $Level)
            if (-not $script:result.verified) {
                Add-Error 'lecture de confirmation differente'
            }
        } else {
            $script:result.known = $false
            $script:result.level = $Level
            Add-Error 'commande HID envoyee ; confirmation indisponible'
        }
    } catch {
        $script:result.known = $false
        Add-Error (Get-ErrorText $_)
    }
    return $true
}

# ---------------------------------------------------------------------------
# Classe WMI Lenovo : niveaux 1 (eteint), 2 (bas) et 3 (haut).

function Get-LenovoLightingClass {
    try {
        return Get-CimClass -Namespace 'root/WMI' -ClassName 'LENOVO_LIGHTING_METHOD' -ErrorAction Stop
    } catch {
        # Classe absente : la machine n'a simplement pas cette interface.
        $code = [string]$_.Exception.NativeErrorCode
        if ($code -eq 'NotFound' -or $code -eq 'InvalidClass') {
            return $null
        }
        throw
    }
}

function Get-LenovoLightingInstance {
    return Get-CimInstance -Namespace 'root/WMI' -ClassName 'LENOVO_LIGHTING_METHOD' -ErrorAction Stop |
        Select-Object -First 1
}

function Invoke-LenovoLightingMethod($Instance, [string]$Name, [hashtable]$MethodArguments) {
    return Invoke-CimMethod -InputObject $Instance -MethodName $Name -Arguments $MethodArguments -ErrorAction Stop
}

function Get-LenovoBrightness($Instance) {
    $output = Invoke-LenovoLightingMethod $Instance 'Get_Lighting_Current_Status' @{ Lighting_ID = 0 }
    return $output.Current_Brightness_Level
}

function Set-LenovoBrightness($Instance, [int]$Value) {
    $null = Invoke-LenovoLightingMethod $Instance 'Set_Lighting_Current_Status' @{
        Current_Brightness_Level = $Value
        Current_State_Type       = 0
        Lighting_ID              = 0
    }
}

# Niveau WMI 1..3 vers 0..2 ; toute autre valeur donne $null.
function ConvertFrom-WmiBrightness($Value) {
    if ($null -eq $Value) {
        return $null
    }
    $number = [long]0
    if (-not [long]::TryParse([string]$Value, [ref]$number)) {
        return $null
    }
    if ($number -lt 1 -or $number -gt 3) {
        return $null
    }
    return [int]($number - 1)
}

function ConvertTo-WmiBrightness([int]$Wanted) {
    if ($Wanted -lt 0 -or $Wanted -gt 2) {
        return $null
    }
    return $Wanted + 1
}

function Invoke-LenovoWmiBackend([string]$Mode, [int]$Level) {
    try {
        $class = Get-LenovoLightingClass
    } catch {
        Add-Diagnostic ('Lenovo WMI : ' + (Get-ErrorText $_))
        return $false
    }
    if ($null -eq $class) {
        return $false
    }

    Set-Found 'lenovo-wmi'
    try {
        $instance = Get-LenovoLightingInstance
        if ($null -eq $instance) {
            throw 'instance WMI absente'
        }
        if ($Mode -ne 'write') {
            $current = ConvertFrom-WmiBrightness (Get-LenovoBrightness $instance)
            if ($null -eq $current) {
                Add-Error 'niveau WMI hors plage'
            } else {
                $script:result.known = $true
                $script:result.level = $current
                $script:result.max_level = 2
            }
        } else {
            $value = ConvertTo-WmiBrightness $Level
            if ($null -eq $value) {
                Add-Error 'niveau hors limites'
            } else {
                Set-LenovoBrightness $instance $value
                $script:result.applied = $true
                $after = ConvertFrom-WmiBrightness (Get-LenovoBrightness $instance)
                if ($null -ne $after) {
                    $script:result.known = $true
                    $script:result.level = $after
                    $script:result.verified = ($after -eq $Level)
                } else {
                    $script:result.known = $false
                    $script:result.level = $Level
                    Add-Error 'commande WMI envoyee ; confirmation indisponible'
                }
            }
        }
    } catch {
        Add-Error (Get-ErrorText $_)
    }
    return $true
}

# ---------------------------------------------------------------------------

function Complete-NotFound {
    if ($script:result.available) {
        return
    }
    $text = 'aucune interface de retroeclairage clavier detectee'
    if ($script:errors.Count -gt 0) {
        $text += ' (' + ($script:errors -join '; ') + ')'
    }
    $script:result.reason = $text
}

function Invoke-Backlight([string]$Mode, [int]$Level, [string]$FrameworkDir) {
    Initialize-Result
    if (Invoke-FrameworkBackend $Mode $Level $FrameworkDir) { return }
    if (Invoke-ThinkPadBackend $Mode $Level) { return }
    if (Invoke-HidBackend $Mode $Level) { return }
    if (Invoke-LenovoWmiBackend $Mode $Level) { return }
    Complete-NotFound
}

# Charge par '.', le script ne fait que definir ses fonctions.
if ($MyInvocation.InvocationName -ne '.') {
    # Seul l'objet JSON doit atteindre la sortie standard.
    $null = Invoke-Backlight -Mode $Mode -Level $Level -FrameworkDir $FrameworkDir
    Emit-Result
}
