// powershell.exe for the tests under Wine: runs "-File script -Name value ..."
// in the real PowerShell engine, as Windows PowerShell's -File does.
//
// PowerShell's console host cannot start without a console, and Wine gives
// none to a process created with CREATE_NO_WINDOW, so the script runs in a
// runspace: named parameters from the command line, each output object as a
// line of UTF-8 on standard output, the script's exit code as the process's,
// an error that escapes the script as exit code 1.
//
// The CIM cmdlets hang under Wine; the runspace defines Get-CimClass,
// Get-CimInstance and Invoke-CimMethod over the file wmi-level.txt beside
// this program: absent, the class does not exist; present, it holds the
// brightness value the Lenovo lighting methods get and set.
using System.Collections.ObjectModel;
using System.Management.Automation;
using System.Management.Automation.Runspaces;
using System.Text;

static class Program
{
    const string CimStandIns = """
        function Get-CimClass {
            param([string]$Namespace, [string]$ClassName)
            if ([System.IO.File]::Exists($env:OSTRANE_TEST_WMI)) { return [pscustomobject]@{ CimClassName = $ClassName } }
        }
        function Get-CimInstance {
            param([string]$Namespace, [string]$ClassName)
            [pscustomobject]@{ InstanceName = 'ACPI\PNP0C14\0_0' }
        }
        function Invoke-CimMethod {
            param($InputObject, [string]$MethodName, [hashtable]$Arguments)
            if ($MethodName -eq 'Set_Lighting_Current_Status') {
                [System.IO.File]::WriteAllText($env:OSTRANE_TEST_WMI, [string]$Arguments.Current_Brightness_Level)
                return [pscustomobject]@{ ReturnValue = 0 }
            }
            $text = [System.IO.File]::ReadAllText($env:OSTRANE_TEST_WMI).Trim()
            [pscustomobject]@{ Current_Brightness_Level = [long]$text }
        }
        """;

    static int Main(string[] args)
    {
        string? script = null;
        var parameters = new List<(string? Name, string Value)>();
        for (int i = 0; i < args.Length; i++)
        {
            string arg = args[i];
            if (script == null)
            {
                // The options before -File are the runner's fixed ones.
                if (arg.Equals("-File", StringComparison.OrdinalIgnoreCase) && i + 1 < args.Length) script = args[++i];
                else if (arg.Equals("-ExecutionPolicy", StringComparison.OrdinalIgnoreCase)) i++;
                continue;
            }
            if (arg.StartsWith('-') && i + 1 < args.Length) parameters.Add((arg[1..], args[++i]));
            else parameters.Add((null, arg));
        }
        if (script == null)
        {
            Console.Error.WriteLine("powershell (test): -File is missing");
            return 64;
        }

        Environment.SetEnvironmentVariable("OSTRANE_TEST_WMI",
            Path.Combine(AppContext.BaseDirectory, "wmi-level.txt"));
        var state = InitialSessionState.CreateDefault2();
        state.ExecutionPolicy = Microsoft.PowerShell.ExecutionPolicy.Bypass;
        using var runspace = RunspaceFactory.CreateRunspace(state);
        runspace.Open();
        using var shell = PowerShell.Create(runspace);
        shell.AddScript(CimStandIns, useLocalScope: false).Invoke();
        shell.Commands.Clear();

        shell.AddCommand(script);
        foreach (var (name, value) in parameters)
        {
            if (name == null) shell.AddArgument(value);
            else shell.AddParameter(name, value);
        }
        Collection<PSObject> output;
        try
        {
            output = shell.Invoke();
        }
        catch (Exception error)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
        using (var stdout = Console.OpenStandardOutput())
        {
            var utf8 = new UTF8Encoding(false);
            foreach (var item in output)
            {
                byte[] line = utf8.GetBytes((item?.ToString() ?? "") + "\r\n");
                stdout.Write(line, 0, line.Length);
            }
        }
        foreach (var error in shell.Streams.Error) Console.Error.WriteLine(error.ToString());
        object? code = runspace.SessionStateProxy.GetVariable("LASTEXITCODE");
        return code is int exit ? exit : 0;
    }
}
